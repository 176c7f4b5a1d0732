// Appends the pieces of a printed form into one fixed buffer.
#pragma once

#include <cstddef>
#include <cstring>

#include "frame/float_text.hpp"

namespace velquist::python {

class ReprWriter {
public:
    explicit ReprWriter(char* out) noexcept : out_(out) {}

    template <std::size_t N>
    void text(const char (&literal)[N]) noexcept {
        std::memcpy(out_ + length_, literal, N - 1);
        length_ += N - 1;
    }
    void shortest(float v) noexcept { length_ += float_text::shortest(v, out_ + length_); }
    void fixed4(float v) noexcept { length_ += float_text::fixed4(v, out_ + length_); }
    void decimal(unsigned v) noexcept { number(v, 10); }
    void hex(unsigned v) noexcept { number(v, 16); }
    std::size_t length() const noexcept { return length_; }

private:
    void number(unsigned v, unsigned base) noexcept {
        char digits[16];
        std::size_t n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v % base];
            v /= base;
        } while (v != 0);
        while (n > 0) out_[length_++] = digits[--n];
    }

    char* out_;
    std::size_t length_ = 0;
};

}  // namespace velquist::python
