#include "frame/float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace velquist::float_text {

namespace {

std::size_t write_special(float value, char* out) noexcept {
    if (std::isnan(value)) {
        std::memcpy(out, "NaN", 3);
        return 3;
    }
    if (std::signbit(value)) {
        std::memcpy(out, "-inf", 4);
        return 4;
    }
    std::memcpy(out, "inf", 3);
    return 3;
}

}  // namespace

std::size_t shortest(float value, char* out) noexcept {
    if (!std::isfinite(value)) return write_special(value, out);
    char* p = out;
    if (std::signbit(value)) *p++ = '-';
    const float magnitude = std::fabs(value);
    if (magnitude == 0.0f) {
        *p++ = '0';
        return static_cast<std::size_t>(p - out);
    }
    // Scientific form gives the shortest round-tripping digits (nearest to
    // the exact value among equally short ones) as d.ddde±x.
    char sci[32];
    const auto result = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific);
    const char* end = result.ptr;
    const char* e_mark = static_cast<const char*>(std::memchr(sci, 'e', static_cast<std::size_t>(end - sci)));
    char digits[16];
    std::size_t n = 0;
    for (const char* c = sci; c < e_mark; ++c) {
        if (*c != '.') digits[n++] = *c;
    }
    int exponent = 0;
    std::from_chars(e_mark + (e_mark[1] == '+' ? 2 : 1), end, exponent);
    // value = 0.d1...dn × 10^e
    const int e = exponent + 1;
    const int count = static_cast<int>(n);
    if (e <= 0) {
        *p++ = '0';
        *p++ = '.';
        std::memset(p, '0', static_cast<std::size_t>(-e));
        p += -e;
        std::memcpy(p, digits, n);
        p += n;
    } else if (e < count) {
        std::memcpy(p, digits, static_cast<std::size_t>(e));
        p += e;
        *p++ = '.';
        std::memcpy(p, digits + e, static_cast<std::size_t>(count - e));
        p += count - e;
    } else {
        std::memcpy(p, digits, n);
        p += n;
        std::memset(p, '0', static_cast<std::size_t>(e - count));
        p += e - count;
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t fixed4(float value, char* out) noexcept {
    if (!std::isfinite(value)) return write_special(value, out);
    // Fixed form with a precision rounds the exact binary value, ties to even.
    const auto result =
        std::to_chars(out, out + max_length, static_cast<double>(value), std::chars_format::fixed, 4);
    return static_cast<std::size_t>(result.ptr - out);
}

}  // namespace velquist::float_text
