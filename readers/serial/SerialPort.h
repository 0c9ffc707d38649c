// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Opening the serial device of a port number (SerialDevices.h), and the
// time a read waits for a frame.

#include <chrono>
#include <cstdint>
#include <string>

#include "SerialDevices.h"

namespace kv::serial {

// Rates below this are refused: no serial line runs slower.
inline constexpr std::int32_t kLowestRate = 50;

// How long a read waits for a frame at `baud`: a settling time (kSettle),
// two frame times (the frame under way when the read starts is lost, the
// next one must arrive whole), the gap allowed between repeated frames, and
// an allowance for the adapter's buffering and the scheduler, rounded up to
// the millisecond. 300 ms at 9600 baud.
inline constexpr std::chrono::milliseconds kSettle{20};
inline constexpr std::chrono::milliseconds kRepeatGap{200};
inline constexpr std::chrono::milliseconds kLatencyAllowance{50};
std::chrono::milliseconds readBound(std::int32_t baud);

// An open attempt: the descriptor on success, else the status and one line
// saying what went wrong.
struct OpenResult
{
    int fd = -1;
    std::int16_t status = 0;
    std::string reason;
};

// Opens `path` for exclusive use, raw 8N1 at `baud`, without becoming the
// controlling terminal, non-blocking. Other programs are kept out with an
// advisory lock (flock) and the terminal's exclusive mode.
OpenResult openSerialPort(const std::string &path, std::int32_t baud);

// Leaves exclusive mode and closes.
void closeSerialPort(int fd);

// Sets a rate that has no B-constant through the kernel's arbitrary-rate
// interface. True when the device then runs within 2% of `baud`.
bool setArbitraryRate(int fd, std::int32_t baud);

} // namespace kv::serial
