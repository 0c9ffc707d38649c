// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The kernel's arbitrary-rate interface. Its structures clash with the C
// library's <termios.h>, so they live alone in this file.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>
#include <cstdlib>

#include "SerialPort.h"

namespace kv::serial {

bool setArbitraryRate(int fd, std::int32_t baud)
{
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~(CBAUD | CBAUD << IBSHIFT);
    settings.c_cflag |= BOTHER | BOTHER << IBSHIFT;
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &settings) != 0)
        return false;
    // Drivers round to what their clock can make, or keep the old rate.
    struct termios2 actual {};
    if (::ioctl(fd, TCGETS2, &actual) != 0)
        return false;
    const auto within = [baud](speed_t speed) {
        return std::llabs(static_cast<long long>(speed) - baud) * 50 <= baud;
    };
    return within(actual.c_ospeed) && within(actual.c_ispeed);
}

} // namespace kv::serial
