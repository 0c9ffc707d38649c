// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include <QString>

namespace kv {

class Reader;

// The connection state of the serial port and the sequences that change it.
// It never touches widgets: each sequence returns the message for the status
// line, and the window shows it.
class PortConnection
{
public:
    // Values of error_com.
    static constexpr std::int16_t kNeverOpened = 0;
    static constexpr std::int16_t kClosed = 1;
    static constexpr std::int16_t kOpen = 2;

    struct Outcome
    {
        bool ok = false;
        QString message;
        std::int16_t status = 0; // the library's status; 0 when it was not called
    };

    explicit PortConnection(Reader &reader) : m_reader(reader) {}

    std::int16_t error_com() const { return m_errorCom; }
    bool isOpen() const { return m_errorCom == kOpen; }
    // The port number and rate of the last successful open; 0 before one.
    std::int32_t openedPort() const { return m_openedPort; }
    std::int32_t openedBaud() const { return m_openedBaud; }

    // Not-open guard of every device command: true when the port is known to
    // be closed. Only state 1 counts; before the first open the library is
    // asked and decides.
    bool refuses() const { return m_errorCom == kClosed; }

    // Opens the port with the numeric values of the operator's texts, rounded
    // halves to even. A text without a value that fits a 32-bit signed
    // integer is refused before the library is called (port checked first),
    // and counts as a failed open.
    Outcome open(const QString &portText, const QString &baudText);
    // Opens the port with numbers already checked by the caller.
    Outcome open(std::int32_t port, std::int32_t baud);

    // Closes the port; callers run it only while the port is open. A failed
    // close leaves the port counted as open.
    Outcome close();

    static QString notOpenMessage();
    static QString alreadyOpenNotice();

private:
    Reader &m_reader;
    std::int16_t m_errorCom = kNeverOpened;
    std::int32_t m_openedPort = 0;
    std::int32_t m_openedBaud = 0;
};

} // namespace kv
