// Float text against independent references: the shortest digits by printf's %e at growing precision until
// one reads back; four decimals by rounding the exact value × 10^4 (a double holds it) to an integer.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "frame/float_text.hpp"
#include "harness.hpp"

namespace ft = velquist::float_text;

static std::string text(std::size_t (*write)(float, char*) noexcept, float v) {
    char buf[ft::max_length];
    return std::string(buf, write(v, buf));
}

/// Beside %e's rounding its neighbours are tried: a power of two has a narrower gap below.
static std::string reference_shortest(float v) {
    const std::string sign = std::signbit(v) ? "-" : "";
    for (int precision = 0;; ++precision) {
        char sci[32], candidate[40];
        std::snprintf(sci, sizeof sci, "%.*e", precision, std::fabs(double(v)));
        const long long nearest = std::atoll(std::string(sci).erase(1, 1).c_str());
        int exp10 = std::atoi(std::strchr(sci, 'e') + 1) - precision;
        for (long long m : {nearest, nearest + 1, nearest - 1}) {
            std::snprintf(candidate, sizeof candidate, "%llde%d", m, exp10);
            if (std::strtof(candidate, nullptr) != std::fabs(v)) continue;
            std::string digits = std::to_string(m);
            for (; digits.size() > 1 && digits.back() == '0'; ++exp10) digits.pop_back();
            const int point = int(digits.size()) + exp10;  // digits before the decimal point
            if (point <= 0) return sign + "0." + std::string(-point, '0') + digits;
            if (point >= int(digits.size())) return sign + digits + std::string(point - digits.size(), '0');
            return sign + digits.substr(0, point) + "." + digits.substr(point);
        }
    }
}

static std::string reference_fixed4(float v) {
    char s[64];  // rounded ties to even
    const double scaled = std::nearbyint(std::fabs(double(v)) * 1e4);
    const int n = std::snprintf(s, sizeof s, "%s%05.0f", std::signbit(v) ? "-" : "", scaled);
    return std::string(s, n - 4) + "." + (s + n - 4);
}

TEST_CASE(float_text) {
    // Literal texts (value, shortest, four decimals): a reference cannot share a mistake with the code.
    const char* examples =
        "30 30 30.0000|0.1 0.1 0.1000|-0.25 -0.25 -0.2500|1e-7 0.0000001 0.0000|1e10 10000000000 10000000000.0000|"
        "3.14159265 3.1415927 3.1416|-0 -0 -0.0000|0.03125 0.03125 0.0312|0.09375 0.09375 0.0938|0 0 0.0000|"
        "-nan NaN NaN|inf inf inf|-inf -inf -inf";
    for (const char* p = examples; *p != '\0';) {
        char* rest;
        const float v = std::strtof(p, &rest);
        const std::size_t n = std::strcspn(++rest, "|");
        CHECK_EQ(text(&ft::shortest, v) + " " + text(&ft::fixed4, v), std::string(rest, n));
        p = rest + n + (rest[n] == '|');
    }
    // Random patterns; subnormals of both signs; each sign and exponent, mantissa zero; floats near 1e-4.
    std::mt19937 rng(20261207);
    int mismatches = 0;
    for (unsigned i = 0; i < 220000; ++i) {
        const unsigned p = i % 5000, special[] = {p, p | 0x80000000u, p << 23, 0x38d1b700 + p};
        const unsigned bits = i < 200000 ? unsigned(rng()) : special[i / 5000 - 40];
        const float v = std::bit_cast<float>(bits);
        const std::string got = text(&ft::shortest, v) + " / " + text(&ft::fixed4, v);
        const std::string want = std::isfinite(v) ? reference_shortest(v) + " / " + reference_fixed4(v) : got;
        if (got != want && ++mismatches < 10)
            std::fprintf(stderr, "  0x%08x: %s, expected %s\n", bits, got.c_str(), want.c_str());
    }
    CHECK_EQ(mismatches, 0);
}
