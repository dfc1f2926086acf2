// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing text and numbers to a descriptor with nothing but write(2): what a fatal-signal handler
// may use (no allocation, no locks, no stdio).
#ifdef __unix__
#include <cstring>
#include <unistd.h>

namespace diagnostics::sigsafe {

inline void put(int fd, const char *text)
{
    if (text)
        [[maybe_unused]] const auto n = ::write(fd, text, std::strlen(text));
}

inline void putNumber(int fd, long long value)
{
    char buffer[24];
    int i = sizeof buffer;
    const bool negative = value < 0;
    unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        buffer[--i] = char('0' + v % 10);
        v /= 10;
    } while (v && i > 1);
    if (negative)
        buffer[--i] = '-';
    [[maybe_unused]] const auto n = ::write(fd, buffer + i, sizeof buffer - size_t(i));
}

} // namespace diagnostics::sigsafe
#endif
