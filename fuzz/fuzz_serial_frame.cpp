// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// libFuzzer harness for the serial frame scanner, which takes whatever bytes
// a device sends.
//
// The first input byte steers the checks, the rest is the byte stream. The
// scanner's frames are compared with an independent reading of the stream:
// every 14 bytes that are STX, twelve hexadecimal digits, ETX, with the XOR of
// the five ID bytes in the last two digits, make a frame, reported when its
// ETX arrives and nowhere else. The same must come out when the stream is fed
// in chunks, by a scanner carried from chunk to chunk as a read carries it,
// and after a reset in the middle only frames whose STX came after the reset.
// A broken property prints the stream and aborts, which libFuzzer reports as
// a finding. Run on files instead of a folder, the binary replays them once
// each.

#include "SerialFrame.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

namespace {

using kv::CardId;
using kv::serial::FrameScanner;

struct Found
{
    std::size_t end; // index of the frame's ETX
    CardId id;
    bool operator==(const Found &) const = default;
};

[[noreturn]] void fail(const char *what, std::span<const std::uint8_t> stream)
{
    std::fprintf(stderr, "serial frame property broken: %s\nstream (%zu bytes):", what, stream.size());
    for (const std::uint8_t byte : stream)
        std::fprintf(stderr, " %02X", static_cast<unsigned>(byte));
    std::fprintf(stderr, "\n");
    std::abort();
}

void check(bool holds, const char *what, std::span<const std::uint8_t> stream)
{
    if (!holds)
        fail(what, stream);
}

// The value of an ASCII hexadecimal digit, by table rather than by the
// scanner's arithmetic.
std::optional<std::uint8_t> digitValue(std::uint8_t byte)
{
    static constexpr char kLower[] = "0123456789abcdef";
    static constexpr char kUpper[] = "0123456789ABCDEF";
    for (std::uint8_t value = 0; value < 16; ++value)
        if (byte == static_cast<std::uint8_t>(kLower[value]) || byte == static_cast<std::uint8_t>(kUpper[value]))
            return value;
    return std::nullopt;
}

// Every whole, correct frame of the stream whose STX lies at `from` or later.
std::vector<Found> framesIn(std::span<const std::uint8_t> stream, std::size_t from)
{
    std::vector<Found> frames;
    for (std::size_t start = from; start + kv::serial::kFrameSize <= stream.size(); ++start) {
        if (stream[start] != kv::serial::kStx || stream[start + kv::serial::kFrameSize - 1] != kv::serial::kEtx)
            continue;
        std::uint8_t nibbles[12];
        bool digits = true;
        for (std::size_t i = 0; i < 12 && digits; ++i) {
            const std::optional<std::uint8_t> value = digitValue(stream[start + 1 + i]);
            digits = value.has_value();
            nibbles[i] = value.value_or(0);
        }
        if (!digits)
            continue;
        CardId id{};
        std::uint8_t xorOfId = 0;
        for (std::size_t i = 0; i < id.size(); ++i) {
            id[i] = static_cast<std::uint8_t>(nibbles[2 * i] * 16 + nibbles[2 * i + 1]);
            xorOfId ^= id[i];
        }
        if (xorOfId == nibbles[10] * 16 + nibbles[11])
            frames.push_back({start + kv::serial::kFrameSize - 1, id});
    }
    return frames;
}

void feed(FrameScanner &scanner, std::span<const std::uint8_t> stream, std::size_t from, std::size_t to,
          std::vector<Found> &frames)
{
    for (std::size_t i = from; i < to; ++i)
        if (const std::optional<CardId> id = scanner.feed(stream[i]))
            frames.push_back({i, *id});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t steer = data[0];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    // Byte by byte, from the start: exactly the frames of the stream.
    std::vector<Found> whole;
    FrameScanner scanner;
    feed(scanner, stream, 0, stream.size(), whole);
    check(whole == framesIn(stream, 0), "the scanner reports exactly the whole, correct frames, each at its ETX",
          stream);

    // In chunks of 1 to 16 bytes, the scanner carried over from one chunk
    // to the next by copy: the same frames.
    std::vector<Found> chunked;
    FrameScanner carried;
    for (std::size_t from = 0, k = 0; from < stream.size(); ++k) {
        const std::size_t length = 1 + ((steer >> (k % 5)) + k * 7) % 16;
        const std::size_t to = std::min(stream.size(), from + length);
        FrameScanner next = carried;
        feed(next, stream, from, to, chunked);
        carried = next;
        from = to;
    }
    check(chunked == whole, "any chunking gives the same frames", stream);

    // A reset at a point in the stream: before it the same frames as without,
    // after it only those whose STX came after the reset.
    const std::size_t cut = stream.size() * steer / 255;
    std::vector<Found> reset;
    FrameScanner resetting;
    feed(resetting, stream, 0, cut, reset);
    resetting.reset();
    const std::size_t before = reset.size();
    feed(resetting, stream, cut, stream.size(), reset);
    std::vector<Found> expected;
    for (const Found &frame : whole)
        if (frame.end < cut)
            expected.push_back(frame);
    check(std::vector<Found>(reset.begin(), reset.begin() + static_cast<std::ptrdiff_t>(before)) == expected,
          "frames before a reset are those of the whole stream", stream);
    expected = framesIn(stream, cut);
    check(std::vector<Found>(reset.begin() + static_cast<std::ptrdiff_t>(before), reset.end()) == expected,
          "after a reset only frames that start after it are reported", stream);
    return 0;
}
