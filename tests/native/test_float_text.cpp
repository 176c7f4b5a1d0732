// Float text against an independent reference: the shortest round-tripping
// digits are found by trying every precision of printf's %e, and the
// four-decimal form by exact decimal arithmetic on the float's bits.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "frame/float_text.hpp"
#include "harness.hpp"

namespace {

std::string shortest_of(float v) {
    char buf[velquist::float_text::max_length];
    return std::string(buf, velquist::float_text::shortest(v, buf));
}

std::string fixed4_of(float v) {
    char buf[velquist::float_text::max_length];
    return std::string(buf, velquist::float_text::fixed4(v, buf));
}

/// Shortest digits by search, laid out positionally.
std::string reference_shortest(float v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    if (v == 0) return std::signbit(v) ? "-0" : "0";
    const float a = std::fabs(v);
    for (int precision = 0; precision < 9; ++precision) {
        char sci[64];
        std::snprintf(sci, sizeof sci, "%.*e", precision, static_cast<double>(a));
        if (std::strtof(sci, nullptr) != a) continue;
        // %e rounds the exact value, so this is the nearest candidate of
        // this length; it reads back, so it is the answer.
        std::string digits;
        const char* e = std::strchr(sci, 'e');
        for (const char* c = sci; c < e; ++c)
            if (*c != '.') digits += *c;
        while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
        const int exp10 = std::atoi(e + 1) + 1;
        const int n = static_cast<int>(digits.size());
        std::string out = v < 0 ? "-" : "";
        if (exp10 <= 0) {
            out += "0." + std::string(-exp10, '0') + digits;
        } else if (exp10 < n) {
            out += digits.substr(0, exp10) + "." + digits.substr(exp10);
        } else {
            out += digits + std::string(exp10 - n, '0');
        }
        return out;
    }
    return "unreachable";
}

/// value × 10^4 exactly as a big decimal, then rounded half to even.
std::string reference_fixed4(float v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    int exp2 = 0;
    const double m = std::frexp(std::fabs(static_cast<double>(v)), &exp2);
    std::uint64_t mant = static_cast<std::uint64_t>(std::ldexp(m, 24));
    exp2 -= 24;  // |v| = mant × 2^exp2
    // Decimal digits, little-endian, of mant × 10^4 × 2^exp2 scaled by 2^-exp2 when negative.
    std::vector<int> num;
    for (std::uint64_t t = mant * 10000; t > 0; t /= 10) num.push_back(static_cast<int>(t % 10));
    if (num.empty()) num.push_back(0);
    auto mul2 = [](std::vector<int>& d) {
        int carry = 0;
        for (int& x : d) {
            x = x * 2 + carry;
            carry = x / 10;
            x %= 10;
        }
        if (carry) d.push_back(carry);
    };
    std::string result_digits;
    if (exp2 >= 0) {
        for (int i = 0; i < exp2; ++i) mul2(num);
        for (auto it = num.rbegin(); it != num.rend(); ++it) result_digits += char('0' + *it);
    } else {
        // Integer part and remainder of (mant × 10^4) / 2^-exp2.
        const int shift = -exp2;
        // Work in long division on the decimal digits.
        std::vector<int> big(num.rbegin(), num.rend());
        auto divide2 = [](std::vector<int>& d) {
            int rem = 0;
            for (int& x : d) {
                const int cur = rem * 10 + x;
                x = cur / 2;
                rem = cur % 2;
            }
            return rem;
        };
        // Track the remainder as a fraction: keep dividing, recording whether
        // any bit was lost below the first one.
        int first_lost = 0;
        bool sticky = false;
        for (int i = 0; i < shift; ++i) {
            const int rem = divide2(big);
            sticky = sticky || first_lost;
            first_lost = rem;
        }
        std::string q;
        for (int x : big) q += char('0' + x);
        const std::size_t nz = q.find_first_not_of('0');
        q = nz == std::string::npos ? "0" : q.substr(nz);
        bool round_up = first_lost && (sticky || ((q.back() - '0') % 2 == 1));
        if (round_up) {
            int i = static_cast<int>(q.size()) - 1;
            while (i >= 0 && q[i] == '9') q[i--] = '0';
            if (i < 0) q = "1" + q; else q[i]++;
        }
        result_digits = q;
    }
    while (result_digits.size() < 5) result_digits = "0" + result_digits;
    std::string out = std::signbit(v) ? "-" : "";
    out += result_digits.substr(0, result_digits.size() - 4) + "." + result_digits.substr(result_digits.size() - 4);
    return out;
}

}  // namespace

TEST_CASE(float_text_examples) {
    const struct {
        float value;
        const char* shortest;
        const char* fixed4;
    } table[] = {
        {30.0f, "30", "30.0000"},
        {12.5f, "12.5", "12.5000"},
        {0.1f, "0.1", "0.1000"},
        {1e-7f, "0.0000001", "0.0000"},
        {1e10f, "10000000000", "10000000000.0000"},
        {12.566f, "12.566", "12.5660"},
        {-0.0f, "-0", "-0.0000"},
        {0.0f, "0", "0.0000"},
        {3.14159265f, "3.1415927", "3.1416"},
        {0.03125f, "0.03125", "0.0312"},
        {0.09375f, "0.09375", "0.0938"},
        {-0.25f, "-0.25", "-0.2500"},
        {1e6f, "1000000", "1000000.0000"},
        {NAN, "NaN", "NaN"},
        {-NAN, "NaN", "NaN"},
        {INFINITY, "inf", "inf"},
        {-INFINITY, "-inf", "-inf"},
    };
    for (const auto& row : table) {
        CHECK_EQ(shortest_of(row.value), std::string(row.shortest));
        CHECK_EQ(fixed4_of(row.value), std::string(row.fixed4));
    }
}

TEST_CASE(float_text_matches_reference_over_random_and_edge_bits) {
    std::mt19937 rng(20261207);
    std::vector<std::uint32_t> patterns = {0x00000001, 0x007fffff, 0x00800000, 0x7f7fffff, 0x3f800000,
                                           0x3f800001, 0x3f7fffff, 0x41490e56, 0x4b800000, 0x4b7fffff,
                                           0x5f000000, 0x2edbe6ff, 0x3d000000, 0x3dc00000};
    for (int i = 0; i < 200000; ++i) patterns.push_back(rng());
    for (std::uint32_t p = 0; p < 5000; ++p) patterns.push_back(p);              // subnormals
    for (std::uint32_t p = 0x38d1b700; p < 0x38d1b700 + 5000; ++p) patterns.push_back(p);  // near 1e-4
    int mismatches = 0;
    for (std::uint32_t bits : patterns) {
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            float v;
            const std::uint32_t b = bits | sign;
            std::memcpy(&v, &b, sizeof v);
            if (std::isnan(v)) continue;
            if (shortest_of(v) != reference_shortest(v) || fixed4_of(v) != reference_fixed4(v)) {
                if (++mismatches < 10) {
                    std::fprintf(stderr, "  0x%08x: %s / %s, expected %s / %s\n", b, shortest_of(v).c_str(),
                                 fixed4_of(v).c_str(), reference_shortest(v).c_str(), reference_fixed4(v).c_str());
                }
            }
        }
    }
    CHECK_EQ(mismatches, 0);
}

TEST_CASE(shortest_text_reads_back_exactly) {
    std::mt19937 rng(7);
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t b = rng();
        float v;
        std::memcpy(&v, &b, sizeof v);
        if (!std::isfinite(v)) continue;
        const std::string text = shortest_of(v);
        CHECK(text.find('e') == std::string::npos);
        CHECK(std::strtof(text.c_str(), nullptr) == v);
        if (std::strtof(text.c_str(), nullptr) != v) break;
    }
}
