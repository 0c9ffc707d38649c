// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SerialPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "SerialFrame.h"
#include "SerialStatus.h"

namespace kv::serial {

namespace {

struct RateConstant
{
    std::int32_t baud;
    speed_t constant;
};

constexpr RateConstant kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> standardRate(std::int32_t baud)
{
    for (const RateConstant &rate : kStandardRates)
        if (rate.baud == baud)
            return rate.constant;
    return std::nullopt;
}

std::string errorText(int error) { return std::strerror(error); }

// What a failed open() or flock() means for the operator; the reader adds
// what to do about it (OpenRefusal.h).
OpenResult openFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {-1, kNoDevice, "no such device"};
    case EBUSY:
    case EWOULDBLOCK:
        return {-1, kBusy, "busy"};
    case EACCES:
    case EPERM:
        return {-1, kNoPermission, "permission denied"};
    default:
        return {-1, kOpenFailed, "cannot open: " + errorText(error)};
    }
}

// Raw 8N1, receiver on, modem lines and flow control ignored. A read returns
// as soon as one byte is there (VMIN 1), so that with O_NONBLOCK an empty
// queue reads as EAGAIN and a read of 0 bytes means the line hung up.
void makeRaw(termios &settings)
{
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

// Applies raw mode at a standard rate and checks that the device took it.
bool applyStandardRate(int fd, termios settings, speed_t rate)
{
    makeRaw(settings);
    if (::cfsetispeed(&settings, rate) != 0 || ::cfsetospeed(&settings, rate) != 0)
        return false;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        return false;
    termios actual{};
    return ::tcgetattr(fd, &actual) == 0 && ::cfgetispeed(&actual) == rate && ::cfgetospeed(&actual) == rate;
}

bool applyArbitraryRate(int fd, termios settings, std::int32_t baud)
{
    makeRaw(settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0 && setArbitraryRate(fd, baud);
}

} // namespace

std::chrono::milliseconds readBound(std::int32_t baud)
{
    constexpr std::int64_t kFrameBits = 10 * static_cast<std::int64_t>(kFrameSize); // start, 8 data, stop bit a byte
    const std::int64_t twoFramesMicroseconds = (2 * kFrameBits * 1'000'000 + baud - 1) / baud;
    const std::chrono::milliseconds twoFrames((twoFramesMicroseconds + 999) / 1000);
    return kSettle + twoFrames + kRepeatGap + kLatencyAllowance;
}

OpenResult openSerialPort(const std::string &path, std::int32_t baud)
{
    if (baud < kLowestRate)
        return {-1, kBadRate, std::to_string(baud) + " baud refused: rates start at " + std::to_string(kLowestRate)};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return openFailure(errno);
    const auto fail = [fd](OpenResult result) {
        ::close(fd);
        return result;
    };
    // The lock keeps out every program that locks too, root's included; the
    // exclusive mode keeps out other users' programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(openFailure(errno));
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return fail({-1, kOpenFailed, "not a serial device (" + errorText(errno) + ")"});
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail({-1, kOpenFailed, "cannot take exclusive use: " + errorText(errno)});
    const std::optional<speed_t> standard = standardRate(baud);
    const bool rateTaken = standard ? applyStandardRate(fd, settings, *standard) : applyArbitraryRate(fd, settings, baud);
    if (!rateTaken) {
        ::ioctl(fd, TIOCNXCL);
        return fail({-1, kBadRate, std::to_string(baud) + " baud refused by the device"});
    }
    return {fd, kOk, {}};
}

void closeSerialPort(int fd)
{
    // Exclusive mode belongs to the terminal, not to this descriptor: left on,
    // it would outlive the close while another descriptor keeps it open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

} // namespace kv::serial
