// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The protocol between a reader client and the reader host, a program that
// loads the maker's Windows library and serves its six functions one call at
// a time over the host's standard input and output.
//
// Frames: a 32-bit little-endian payload length, then the payload. Every
// payload starts with its message type. Integers are little-endian.
//
//   client -> host   Hello      u32 version, the library's name or path (UTF-8, to the end)
//   host -> client   HelloReply 4 magic bytes "KVRH", u32 version
//   client -> host   Call       u8 function, then its arguments (below)
//   host -> client   CallReply  u8 outcome, i16 status, the outputs (below),
//                               then a text (UTF-8, to the end) when the
//                               library or the function could not be loaded
//
// Arguments and outputs of a call, in the library's own order:
//   rf_init_com_125K   i32 icdev, i32 port, i32 baud           -> nothing
//   rf_ClosePort_125K  nothing                                 -> nothing
//   rf_request_125K    i32 icdev, u8 format, u8 present, i32 aux, 3001 buffer bytes
//                                                              -> i32 aux, 3001 buffer bytes
//   rf_get_model_125K  i32 icdev, u8 present, i32 aux (low byte), 101 buffer bytes
//                                                              -> i32 aux, 101 buffer bytes
//   rf_light_125K      i32 icdev, u8 code                      -> nothing
//   rf_beep_125K       i32 icdev, u8 value                     -> nothing
// `present` says which pointers the caller passed: bit 0 the buffer, bit 1
// the aux variable; the host passes a null pointer for a missing one. The
// whole buffer travels both ways, so the library sees every byte the caller
// had in it and the caller gets back every byte the library left there.
//
// Plain C++ without platform headers: the Windows host and the clients on
// Linux and Windows share it. The client side is HostClient (a kv::Reader
// that sends its calls), the host's side answer() (a call served by a
// kv::Reader).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Reader.h"

namespace kv::bridge {

inline constexpr std::uint32_t kProtocolVersion = 1;
inline constexpr std::array<std::uint8_t, 4> kHostMagic{'K', 'V', 'R', 'H'};
// Far above any real message; a larger length means a corrupt stream.
inline constexpr std::uint32_t kMaxPayload = 64 * 1024;

// The buffers the tool hands to the card read and the version read.
inline constexpr std::size_t kCardBufferSize = 3001;
inline constexpr std::size_t kModelBufferSize = 101;

// The six functions, sent as their id's byte.
using Function = ReaderFunction;
inline constexpr std::size_t kFunctionCount = kReaderFunctionCount;

enum class MessageType : std::uint8_t { Hello = 0x01, Call = 0x02, HelloReply = 0x81, CallReply = 0x82 };

struct Hello
{
    std::uint32_t version = kProtocolVersion;
    std::string library;
};

struct HelloReply
{
    std::uint32_t version = kProtocolVersion;
};

inline constexpr std::uint8_t kBufferPresent = 0x01;
inline constexpr std::uint8_t kAuxPresent = 0x02;

struct Call
{
    Function function = Function::ClosePort;
    std::int32_t icdev = 0;
    std::int32_t port = 0;        // rf_init_com_125K
    std::int32_t baud = 0;        // rf_init_com_125K
    std::uint8_t byteArgument = 0; // format, indicator code or beep value
    std::uint8_t present = 0;     // kBufferPresent | kAuxPresent
    std::int32_t aux = 0;         // requestAux, or the version call's output byte
    std::vector<std::uint8_t> buffer;
};

enum class Outcome : std::uint8_t {
    Returned,        // the function ran; status and outputs are its own
    LibraryMissing,  // the library could not be loaded; text says why
    FunctionMissing, // the library has no such function; text says why
};

struct CallReply
{
    Outcome outcome = Outcome::Returned;
    std::int16_t status = 0;
    std::int32_t aux = 0;
    std::vector<std::uint8_t> buffer;
    std::string text;
};

// The buffer size a call of `function` carries, 0 for none.
std::size_t bufferSize(Function function);

// Payloads, without the length prefix.
std::vector<std::uint8_t> encode(const Hello &message);
std::vector<std::uint8_t> encode(const HelloReply &message);
std::vector<std::uint8_t> encode(const Call &message);
// The reply to `call`: its outputs are those of the call's function.
std::vector<std::uint8_t> encode(const CallReply &message, Function function);

// Decoders return nothing for a payload that is not a well-formed message of
// their type (wrong type, short, extra bytes, a buffer of the wrong size).
std::optional<Hello> decodeHello(const std::vector<std::uint8_t> &payload);
std::optional<HelloReply> decodeHelloReply(const std::vector<std::uint8_t> &payload);
std::optional<Call> decodeCall(const std::vector<std::uint8_t> &payload);
std::optional<CallReply> decodeCallReply(const std::vector<std::uint8_t> &payload, Function function);

// The 4-byte length prefix of a frame, and its value; a whole frame.
std::array<std::uint8_t, 4> framePrefix(std::size_t payloadSize);
std::vector<std::uint8_t> framed(const std::vector<std::uint8_t> &payload);
std::uint32_t frameLength(const std::array<std::uint8_t, 4> &prefix);

// Serves `call` on `reader` and makes the reply: the function's status and
// outputs. The call's buffer moves into the reply.
CallReply answer(Reader &reader, Call &call);

} // namespace kv::bridge
