// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavrelo::binding {

// Appends text and numbers to a buffer of fixed size, cut at its end, always
// ending with a NUL: a handler's only way of writing.
class SignalSafeText {
public:
    SignalSafeText(char* into, std::size_t room) noexcept : start_(into), at_(into), end_(into + room - 1) {
        *at_ = '\0';
    }
    SignalSafeText& text(const char* text) noexcept {
        while (text != nullptr && *text != '\0' && at_ < end_) *at_++ = *text++;
        *at_ = '\0';
        return *this;
    }
    SignalSafeText& number(std::uintmax_t value, unsigned base) noexcept {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0);
        while (count > 0 && at_ < end_) *at_++ = digits[--count];
        *at_ = '\0';
        return *this;
    }
    std::size_t size() const noexcept { return static_cast<std::size_t>(at_ - start_); }

private:
    char* start_;
    char* at_;
    char* end_;
};

}  // namespace kavrelo::binding
