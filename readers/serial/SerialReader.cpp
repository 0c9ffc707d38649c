// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SerialReader.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>

#include "OpenRefusal.h"
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

std::string describePort(std::int32_t port, const std::string &path)
{
    return "port " + std::to_string(port) + " (" + path + ")";
}

} // namespace

SerialReader::SerialReader(std::ostream &log, DeviceFolders folders) : m_log(log), m_folders(std::move(folders)) {}

SerialReader::~SerialReader() { closeLocked(); }

std::int16_t SerialReader::initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    const std::lock_guard lock(m_mutex);
    closeLocked();
    if (icdev != kReaderAddress)
        return failOpen(kBadAddress, "device address " + std::to_string(icdev) + " does not exist, only 0");
    if (port < 1)
        return failOpen(kBadArgument, "port " + std::to_string(port) + " does not exist, ports start at 1");
    const std::string pattern = devicePattern();
    const std::string path = devicePath(pattern, port);
    const OpenResult opened = openSerialPort(path, baud);
    if (opened.status != kOk) {
        const std::string fix = refusalFix(opened.status, pattern, path);
        return failOpen(opened.status, describePort(port, path) + ": " + opened.reason + fix, !fix.empty());
    }
    m_fd = opened.fd;
    m_open = true;
    m_port = port;
    m_baud = baud;
    m_path = path;
    back();
    return kOk;
}

std::int16_t SerialReader::closePort()
{
    const std::lock_guard lock(m_mutex);
    if (!m_open)
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
    if (!m_open)
        return kPortClosed;
    relinkLocked();
    if (m_fd < 0)
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

// The modules have none of these; a call still serves as a chance to find
// a lost device again.
std::int16_t SerialReader::getModel(std::int32_t, std::uint8_t *, std::uint8_t *)
{
    const std::lock_guard lock(m_mutex);
    relinkLocked();
    return kNotSupported;
}

std::int16_t SerialReader::light(std::int32_t, std::uint8_t)
{
    const std::lock_guard lock(m_mutex);
    relinkLocked();
    return kNotSupported;
}

std::int16_t SerialReader::beep(std::int32_t, std::uint8_t)
{
    const std::lock_guard lock(m_mutex);
    relinkLocked();
    return kNotSupported;
}

const char *SerialReader::takeProblem()
{
    const std::lock_guard lock(m_mutex);
    return m_messages.takeProblem();
}

const char *SerialReader::takeLinkEvent(bool &up)
{
    const std::lock_guard lock(m_mutex);
    return m_messages.takeLinkEvent(up);
}

void SerialReader::closeLocked()
{
    if (m_fd >= 0)
        closeSerialPort(m_fd);
    m_fd = -1;
    m_open = false;
}

void SerialReader::relinkLocked()
{
    if (!m_open || m_fd >= 0)
        return;
    // Quiet while the device stays away: its absence was said with the loss.
    const OpenResult opened = openSerialPort(m_path, m_baud);
    if (opened.status != kOk)
        return;
    m_fd = opened.fd;
    back();
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
    closeSerialPort(m_fd);
    m_fd = -1;
    m_linkDown = true;
    linkEvent(false, portText() + ": the reader was lost (" + why +
                         "); reads fail until it is back, and every call tries to open it again");
    return kDeviceLost;
}

void SerialReader::back()
{
    if (!m_linkDown)
        return;
    m_linkDown = false;
    linkEvent(true, portText() + ": the reader is back");
}

void SerialReader::linkEvent(bool up, const std::string &text)
{
    m_log << kLogPrefix << text << std::endl;
    m_messages.addLinkEvent(up, text);
}

// The refusals the operator can remove, and how: no device, a busy one, no
// permission. Empty for the others.
std::string SerialReader::refusalFix(std::int16_t status, const std::string &pattern, const std::string &path) const
{
    switch (status) {
    case kNoDevice:
        return "; " + missingDeviceAdvice(pattern, m_folders);
    case kBusy:
        return ": " + busyAdvice(path);
    case kNoPermission:
        return ": " + permissionAdvice(path);
    default:
        return {};
    }
}

std::int16_t SerialReader::failOpen(std::int16_t status, const std::string &what, bool removable)
{
    m_log << kLogPrefix << what << std::endl;
    // A refusal the operator can remove is shown once per cause.
    if (removable)
        m_messages.addProblem(std::to_string(status), what);
    return status;
}

std::string SerialReader::portText() const { return describePort(m_port, m_path); }

SerialReader &sharedReader()
{
    static SerialReader reader(std::cerr);
    return reader;
}

} // namespace kv::serial
