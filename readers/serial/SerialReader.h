// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The reader library for passive 125 kHz serial reader modules behind the six
// library functions.
//
// Such a module takes no commands: while a card is in the field it sends the
// card's ID as a frame (SerialFrame.h) over and over, at 9600 baud.
//
//   initCom    Opens the device of the port number (SerialDevices.h,
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
// notices fails at once with kDeviceLost and the device is let go at once:
// a USB serial adapter plugged in again gets its old name only if nobody
// holds the old device. Until the program closes the port, every later call
// first tries to open the same path again, once and without waiting: while
// the device is away reads fail at once with kDeviceLost, and when it is
// back they succeed again without the program opening the port. Closing such
// a port succeeds. The loss and the return are each said once, as one line
// on the log and as a link event (takeLinkEvent); the attempts in between
// say nothing. After a loss that the program answered by closing, its next
// successful open is the return.
//
// An open that the system refuses because the device is missing, busy or
// closed to the user says what to do about it on the log, every time, and
// through takeProblem once per cause (OpenRefusal.h, SerialDevices.h).
//
// All methods may be called from any thread; calls are served one at a time.

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>

#include "CardId.h"
#include "Reader.h"
#include "ReaderMessages.h"
#include "SerialDevices.h"
#include "SerialStatus.h"

namespace kv::serial {

inline constexpr std::int32_t kReaderAddress = 0;

class SerialReader final : public Reader
{
public:
    // Failures and link events go to `log`, one line each; `folders` is
    // where the devices present are looked for when a port has none.
    explicit SerialReader(std::ostream &log, DeviceFolders folders = {});
    ~SerialReader() override;

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;
    const char *takeProblem() override;
    const char *takeLinkEvent(bool &up) override;

private:
    void closeLocked();
    // While the port is open and its device lost: one attempt to open the
    // device again.
    void relinkLocked();
    // Waits for a frame as `request` describes; kOk with the ID in `id`.
    std::int16_t awaitCard(CardId &id);
    // The device hung up or failed: lets it go and says so.
    std::int16_t lost(const std::string &why);
    // The device is there again after a loss: says so.
    void back();
    void linkEvent(bool up, const std::string &text);
    std::string refusalFix(std::int16_t status, const std::string &pattern, const std::string &path) const;
    // Says why an open failed; `removable`: a cause the operator can remove,
    // which the program is told of too.
    std::int16_t failOpen(std::int16_t status, const std::string &what, bool removable = false);
    // "port 1 (/dev/ttyUSB0)"
    std::string portText() const;

    std::ostream &m_log;
    const DeviceFolders m_folders;
    std::mutex m_mutex;
    int m_fd = -1;           // the device; -1 while it is lost
    bool m_open = false;     // opened by the program and not closed since
    bool m_linkDown = false; // a loss was said and no return since
    std::int32_t m_port = 0;
    std::int32_t m_baud = 0;
    std::string m_path;
    ReaderMessages m_messages;
};

// The library's own reader, logging to standard error.
SerialReader &sharedReader();

} // namespace kv::serial
