// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The reader library for passive 125 kHz serial reader modules behind the six
// library functions.
//
// Such a module takes no commands: while a card is in the field it sends the
// card's ID as a frame (SerialFrame.h) over and over, at 9600 baud.
//
//   initCom    Opens the device of the port number (SerialPort.h,
//              kDeviceVariable) exclusively, raw 8N1 at the rate given.
//              Whatever was open is closed first; if the open fails, nothing
//              is open. Only device address 0 exists: another address fails
//              with kBadAddress. One line on the log says why an open failed.
//   request    Discards everything received before the call, then waits up
//              to readBound(rate) for a valid frame that starts and ends
//              during the call, and writes the requested format of its ID
//              from buffer[0] on; *aux gets the number of bytes written. On
//              failure nothing is written. Bytes that arrive in the first
//              kSettle of the call are discarded as well: USB serial adapters
//              commonly hold received bytes up to 16 ms before passing them
//              on, so these may belong to a frame from before the call.
//   getModel, light, beep
//              The modules have no version, indicators or buzzer: these
//              always fail with kNotSupported and write nothing.
//   closePort  Closes; fails with kPortClosed when nothing is open.
//
// When the device hangs up or fails (an adapter pulled out), the read that
// notices fails at once with kDeviceLost and one line goes to the log; every
// later read fails the same way, without waiting, until the port is opened
// again. Closing such a port succeeds.
//
// All methods may be called from any thread; calls are served one at a time.

#include <array>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "Reader.h"
#include "SerialStatus.h"

namespace kv::serial {

inline constexpr std::int32_t kReaderAddress = 0;

class SerialReader final : public Reader
{
public:
    // Failures that the operator must hear about go to `log`, one line each.
    explicit SerialReader(std::ostream &log);
    ~SerialReader() override;

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

private:
    void closeLocked();
    // Waits for a frame as `request` describes; kOk with the ID in `id`.
    std::int16_t awaitCard(std::array<std::uint8_t, 5> &id);
    std::int16_t lost(const std::string &why);
    std::int16_t failOpen(std::int16_t status, const std::string &what);

    std::ostream &m_log;
    std::mutex m_mutex;
    int m_fd = -1;
    std::int32_t m_baud = 0;
    bool m_lost = false;
    std::string m_path;
};

// The library's own reader, logging to standard error.
SerialReader &sharedReader();

} // namespace kv::serial
