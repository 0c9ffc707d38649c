// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SerialReader.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "CardId.h"
#include "SerialFrame.h"
#include "SerialPort.h"

namespace kv::serial {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kLogPrefix = "serial reader: ";
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

// Milliseconds until `until`, rounded up so that a wait never ends early and
// never degenerates into a zero-timeout poll.
int millisecondsUntil(Clock::time_point until, Clock::time_point now)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

std::string pattern()
{
    const char *value = std::getenv(kDeviceVariable);
    return value && *value ? std::string(value) : std::string(kDefaultDevicePattern);
}

} // namespace

SerialReader::SerialReader(std::ostream &log) : m_log(log) {}

SerialReader::~SerialReader() { closeLocked(); }

std::int16_t SerialReader::initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    const std::lock_guard lock(m_mutex);
    closeLocked();
    if (icdev != kReaderAddress)
        return failOpen(kBadAddress, "device address " + std::to_string(icdev) + " does not exist, only 0");
    if (port < 1)
        return failOpen(kBadArgument, "port " + std::to_string(port) + " does not exist, ports start at 1");
    const std::string path = devicePath(pattern(), port);
    const OpenResult opened = openSerialPort(path, baud);
    if (opened.status != kOk)
        return failOpen(opened.status, "port " + std::to_string(port) + " (" + path + "): " + opened.reason);
    m_fd = opened.fd;
    m_baud = baud;
    m_lost = false;
    m_path = path;
    return kOk;
}

std::int16_t SerialReader::closePort()
{
    const std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return kPortClosed;
    closeLocked();
    return kOk;
}

std::int16_t SerialReader::request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer,
                                   std::int32_t *aux)
{
    if (!buffer || format > kLastCardFormat)
        return kBadArgument;
    if (icdev != kReaderAddress)
        return kBadAddress;
    const std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return kPortClosed;
    if (m_lost)
        return kDeviceLost;
    CardId id{};
    if (const std::int16_t status = awaitCard(id); status != kOk)
        return status;
    std::array<std::uint8_t, kMaxCardReplySize> reply{};
    const std::size_t size = writeCardReply(id, format, reply);
    std::copy_n(reply.begin(), size, buffer);
    if (aux)
        *aux = static_cast<std::int32_t>(size);
    return kOk;
}

std::int16_t SerialReader::getModel(std::int32_t, std::uint8_t *, std::uint8_t *) { return kNotSupported; }

std::int16_t SerialReader::light(std::int32_t, std::uint8_t) { return kNotSupported; }

std::int16_t SerialReader::beep(std::int32_t, std::uint8_t) { return kNotSupported; }

void SerialReader::closeLocked()
{
    if (m_fd >= 0)
        closeSerialPort(m_fd);
    m_fd = -1;
    m_lost = false;
}

std::int16_t SerialReader::awaitCard(CardId &id)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point settled = start + kSettle;
    const Clock::time_point deadline = start + readBound(m_baud);

    // Settle: nothing received before `settled` counts. Polling for no
    // events wakes only on a hang-up or an error, not on arriving data.
    if (::tcflush(m_fd, TCIFLUSH) != 0)
        return lost(std::strerror(errno));
    for (Clock::time_point now = start; now < settled; now = Clock::now()) {
        pollfd watch{m_fd, 0, 0};
        const int ready = ::poll(&watch, 1, millisecondsUntil(settled, now));
        if (ready < 0 && errno != EINTR)
            return lost(std::strerror(errno));
        if (ready > 0)
            return lost("hung up");
    }
    if (::tcflush(m_fd, TCIFLUSH) != 0)
        return lost(std::strerror(errno));

    FrameScanner scanner;
    std::array<std::uint8_t, 64> chunk{};
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        pollfd watch{m_fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, millisecondsUntil(deadline, now));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return lost(std::strerror(errno));
        }
        if (ready == 0)
            continue;
        if (watch.revents & kHangUp)
            return lost("hung up");
        const ssize_t count = ::read(m_fd, chunk.data(), chunk.size());
        if (count == 0)
            return lost("hung up");
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return lost(std::strerror(errno));
        }
        for (ssize_t i = 0; i < count; ++i) {
            if (const std::optional<CardId> found = scanner.feed(chunk[static_cast<std::size_t>(i)])) {
                id = *found;
                return kOk;
            }
        }
    }
    return kNoCard;
}

std::int16_t SerialReader::lost(const std::string &why)
{
    m_lost = true;
    m_log << kLogPrefix << m_path << ": the device stopped answering (" << why
          << "); reads fail until the port is opened again" << std::endl;
    return kDeviceLost;
}

std::int16_t SerialReader::failOpen(std::int16_t status, const std::string &what)
{
    m_log << kLogPrefix << what << std::endl;
    return status;
}

SerialReader &sharedReader()
{
    static SerialReader reader(std::cerr);
    return reader;
}

} // namespace kv::serial
