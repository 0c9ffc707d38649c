// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// A model of the 125 kHz reader behind the six library functions.
//
// The reader sits on one serial port (options().port) and talks at one rate
// (options().baud). Opening another port fails. Opening the right port at
// another rate succeeds, as it does with a real serial port, but then the
// reader cannot understand the requests: every device call fails with
// kNoAnswer. Only device address 0 answers. Opening while a port is open
// closes it first, so the tool can retry at another rate; if the new open
// fails, nothing is open.
//
// Wire model: every request and every reply is a frame of kFrameOverhead
// bytes (start, address, length, command or status, checksum, end) plus its
// data bytes, at 10 bits a byte (start bit, 8 data bits, stop bit) at the
// rate the port was opened at. With latency on, a device call blocks for the
// time its two frames take:
//   request     1 data byte out (format), the format's reply bytes back
//   get_model   no data out, 2 version bytes back
//   light, beep 1 data byte out, no data back
// A call nobody answers (wrong rate or address) blocks for its request frame
// plus kReplyTimeout. A read with no card gets a reply frame without data.
// Argument errors are caught before anything is sent and cost no time;
// opening and closing the port cost none either.
//
// Card-read faults (options failRate, misreadRate, faultsFrom, seed): every
// card read the reader answers (port open at its rate, address 0, a valid
// format) counts, from 1 on, whether or not a card is on the antenna. Reads
// before number faultsFrom are perfect. From it on each read draws one number
// u in [0, 1) from a std::mt19937 seeded once with `seed`:
//   u < failRate                       the read fails as if no card answered:
//                                      kNoCard, an empty reply frame, nothing
//                                      written
//   u < failRate + misreadRate         a misread: a second draw picks one of
//                                      the 40 bits of the card ID (bit k is
//                                      bit k % 8 of byte k / 8, byte 0 = v);
//                                      that bit is flipped before the format
//                                      is made, so the reply is the chosen
//                                      format of that one wrong ID
//   otherwise                          the read is perfect
// The failures thus make up failRate of the reads and the misreads the
// smaller of misreadRate and 1 - failRate. The other calls never fault and
// draw nothing, so the faults depend only on the seed and on the number of
// the read.
//
// Misbehaviour on request (options crashAt, hangAt): every call of the six
// functions counts, from 1 on; at call number crashAt the process crashes
// (an access violation on Windows, SIGSEGV elsewhere), at call number hangAt
// the call never returns.
//
// All methods may be called from any thread; calls are served one at a time,
// as a serial line would.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>

#include "Reader.h"
#include "SimulatedOptions.h"

namespace kv::sim {

// Status codes. Callers only distinguish zero from non-zero; the distinct
// values tell a developer which rule failed.
inline constexpr std::int16_t kOk = 0;
inline constexpr std::int16_t kPortClosed = 1;  // no port open (or nothing to close)
inline constexpr std::int16_t kNoAnswer = 2;    // wrong rate or address: the reader stays silent
inline constexpr std::int16_t kNoCard = 3;      // nothing on the antenna
inline constexpr std::int16_t kBadArgument = 4; // null buffer, format above 10, LED code above 3, rate not positive
inline constexpr std::int16_t kNoSuchPort = 5;  // the reader is not on that port
inline constexpr std::int16_t kInternalError = 6;

// Version bytes returned by get_model, in buffer[0] and buffer[1].
inline constexpr std::uint8_t kVersionMajor = 0x01;
inline constexpr std::uint8_t kVersionMinor = 0x23;

inline constexpr std::int32_t kReaderAddress = 0;
inline constexpr std::size_t kFrameOverhead = 6;
inline constexpr std::chrono::milliseconds kReplyTimeout{100};

// Time `bytes` take on the wire at `baud`, rounded up to the nanosecond.
std::chrono::nanoseconds wireTime(std::size_t bytes, std::int32_t baud);

class SimulatedReader final : public Reader
{
public:
    // Blocks the calling thread for the given time.
    using Wait = std::function<void(std::chrono::nanoseconds)>;
    static void sleep(std::chrono::nanoseconds duration);

    explicit SimulatedReader(SimulatedOptions options = {}, Wait wait = &SimulatedReader::sleep);

    const SimulatedOptions &options() const { return m_options; }

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

private:
    // The fault of the card read being answered now; counts the read.
    struct ReadFault
    {
        enum Kind { None, Failure, Misread } kind = None;
        unsigned bit = 0; // Misread: the flipped bit of the card ID, 0..39
    };
    ReadFault nextReadFault();
    // Whether a device call to `icdev` gets an answer (the port is open at
    // the reader's rate and the address is the reader's).
    bool answers(std::int32_t icdev) const;
    // Sends a request with `requestData` data bytes to `icdev`. Returns kOk
    // when the reader answers, after the time of both frames, or the failure.
    std::int16_t exchange(std::int32_t icdev, std::size_t requestData, std::size_t replyData);
    void spend(std::chrono::nanoseconds duration);
    // Counts a call, and crashes or hangs when its number says so.
    void countCall();

    const SimulatedOptions m_options;
    const Wait m_wait;
    std::mutex m_mutex;
    std::optional<std::int32_t> m_openBaud; // the rate of the open port; none when closed
    std::uint64_t m_cardReads = 0;          // answered card reads so far
    std::mt19937 m_faultDraws;
    std::atomic<std::uint64_t> m_calls{0};
};

// The library's own reader, configured from kOptionsVariable at the first
// call; unusable options are reported on standard error then.
SimulatedReader &sharedReader();

} // namespace kv::sim
