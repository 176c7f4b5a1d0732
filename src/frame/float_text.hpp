// Decimal text of 32-bit floats for the printed forms.
#pragma once

#include <cstddef>

namespace velquist::float_text {

/// Longest text either routine writes, with room to spare.
inline constexpr std::size_t max_length = 64;

/// Shortest digits that read back as `value`, in positional notation: no
/// exponent, no "+", no trailing ".0"; "NaN", "inf", "-inf", "0", "-0".
/// Writes at `out` (at least `max_length` bytes) and returns the length.
std::size_t shortest(float value, char* out) noexcept;

/// The exact value rounded to four decimals, ties to even: "1.5000",
/// "-0.0000"; "NaN", "inf", "-inf" carry no digits.
std::size_t fixed4(float value, char* out) noexcept;

}  // namespace velquist::float_text
