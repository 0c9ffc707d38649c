// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SimulatedReader.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <utility>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kv::sim {

std::chrono::nanoseconds wireTime(std::size_t bytes, std::int32_t baud)
{
    constexpr std::int64_t kBitsPerByte = 10;
    constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
    const std::int64_t bitNanoseconds = static_cast<std::int64_t>(bytes) * kBitsPerByte * kNanosecondsPerSecond;
    return std::chrono::nanoseconds((bitNanoseconds + baud - 1) / baud);
}

namespace {

[[noreturn]] void crashProcess()
{
#if defined(_WIN32)
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#else
    std::raise(SIGSEGV);
#endif
    std::abort();
}

[[noreturn]] void hangForever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

} // namespace

void SimulatedReader::countCall()
{
    const std::uint64_t call = ++m_calls;
    if (call == m_options.crashAt)
        crashProcess();
    if (call == m_options.hangAt)
        hangForever();
}

// A sleep may end early: on Windows it is counted in whole milliseconds of a
// coarser clock. Sleeping again for what is left keeps the call on the wire
// for its whole time.
void SimulatedReader::sleep(std::chrono::nanoseconds duration)
{
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + duration;
    for (auto now = Clock::now(); now < until; now = Clock::now())
        std::this_thread::sleep_for(until - now);
}

SimulatedReader::SimulatedReader(SimulatedOptions options, Wait wait)
    : m_options(std::move(options)), m_wait(std::move(wait)), m_faultDraws(m_options.seed)
{
}

std::int16_t SimulatedReader::initCom(std::int32_t /*icdev*/, std::int32_t port, std::int32_t baud)
{
    countCall();
    const std::lock_guard lock(m_mutex);
    m_openBaud.reset();
    if (port != m_options.port)
        return kNoSuchPort;
    if (baud <= 0)
        return kBadArgument;
    m_openBaud = baud;
    return kOk;
}

std::int16_t SimulatedReader::closePort()
{
    countCall();
    const std::lock_guard lock(m_mutex);
    if (!m_openBaud)
        return kPortClosed;
    m_openBaud.reset();
    return kOk;
}

std::int16_t SimulatedReader::request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer,
                                      std::int32_t *aux)
{
    countCall();
    if (!buffer || format > kLastCardFormat)
        return kBadArgument;
    std::array<std::uint8_t, kMaxCardReplySize> reply{};
    const std::lock_guard lock(m_mutex);
    const ReadFault fault = answers(icdev) ? nextReadFault() : ReadFault{};
    // The ID the reader picks up this time, if any.
    std::optional<CardId> seen = fault.kind == ReadFault::Failure ? std::nullopt : m_options.card;
    if (seen && fault.kind == ReadFault::Misread)
        (*seen)[fault.bit / 8] ^= static_cast<std::uint8_t>(1U << (fault.bit % 8));
    const std::size_t size = seen ? writeCardReply(*seen, format, reply) : 0;
    if (const std::int16_t status = exchange(icdev, 1, size); status != kOk)
        return status;
    if (!seen)
        return kNoCard;
    std::copy_n(reply.begin(), size, buffer);
    if (aux)
        *aux = static_cast<std::int32_t>(size);
    return kOk;
}

std::int16_t SimulatedReader::getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    countCall();
    if (!buffer)
        return kBadArgument;
    const std::lock_guard lock(m_mutex);
    if (const std::int16_t status = exchange(icdev, 0, 2); status != kOk)
        return status;
    buffer[0] = kVersionMajor;
    buffer[1] = kVersionMinor;
    if (aux)
        *aux = 2;
    return kOk;
}

std::int16_t SimulatedReader::light(std::int32_t icdev, std::uint8_t code)
{
    countCall();
    if (code > 3)
        return kBadArgument;
    const std::lock_guard lock(m_mutex);
    return exchange(icdev, 1, 0);
}

std::int16_t SimulatedReader::beep(std::int32_t icdev, std::uint8_t /*value*/)
{
    countCall();
    // The reader acknowledges at once and sounds the buzzer on its own.
    const std::lock_guard lock(m_mutex);
    return exchange(icdev, 1, 0);
}

SimulatedReader::ReadFault SimulatedReader::nextReadFault()
{
    ++m_cardReads;
    if (m_cardReads < static_cast<std::uint64_t>(m_options.faultsFrom))
        return {};
    // 32-bit draws scaled by hand rather than through the standard
    // distributions, whose results differ between standard libraries.
    constexpr double kDrawRange = 4294967296.0; // 2^32
    constexpr std::uint64_t kIdBits = 40;
    const double u = static_cast<double>(m_faultDraws()) / kDrawRange;
    if (u < m_options.failRate)
        return {ReadFault::Failure};
    if (u < m_options.failRate + m_options.misreadRate)
        return {ReadFault::Misread, static_cast<unsigned>((std::uint64_t{m_faultDraws()} * kIdBits) >> 32)};
    return {};
}

bool SimulatedReader::answers(std::int32_t icdev) const
{
    return m_openBaud && icdev == kReaderAddress && *m_openBaud == m_options.baud;
}

std::int16_t SimulatedReader::exchange(std::int32_t icdev, std::size_t requestData, std::size_t replyData)
{
    if (!m_openBaud)
        return kPortClosed;
    const std::size_t requestBytes = kFrameOverhead + requestData;
    if (!answers(icdev)) {
        spend(wireTime(requestBytes, *m_openBaud) + kReplyTimeout);
        return kNoAnswer;
    }
    spend(wireTime(requestBytes + kFrameOverhead + replyData, *m_openBaud));
    return kOk;
}

void SimulatedReader::spend(std::chrono::nanoseconds duration)
{
    if (m_options.latency)
        m_wait(duration);
}

SimulatedReader &sharedReader()
{
    static SimulatedReader reader(optionsFromEnvironment(std::cerr));
    return reader;
}

} // namespace kv::sim
