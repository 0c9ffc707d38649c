// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "BridgeProtocol.h"

#include <algorithm>

namespace kv::bridge {

namespace {

class PayloadWriter
{
public:
    explicit PayloadWriter(MessageType type) { m_bytes.push_back(static_cast<std::uint8_t>(type)); }

    void u8(std::uint8_t value) { m_bytes.push_back(value); }
    void u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            m_bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void i16(std::int16_t value)
    {
        const auto bits = static_cast<std::uint16_t>(value);
        m_bytes.push_back(static_cast<std::uint8_t>(bits));
        m_bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    void bytes(const std::vector<std::uint8_t> &data) { m_bytes.insert(m_bytes.end(), data.begin(), data.end()); }
    void text(const std::string &data) { m_bytes.insert(m_bytes.end(), data.begin(), data.end()); }

    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Reads a payload front to back; any read past the end makes it fail, and
// the decoders check that nothing is left over.
class PayloadReader
{
public:
    PayloadReader(const std::vector<std::uint8_t> &payload, MessageType type) : m_payload(payload)
    {
        if (m_payload.empty() || m_payload[0] != static_cast<std::uint8_t>(type))
            m_failed = true;
        m_next = 1;
    }

    std::uint8_t u8()
    {
        if (!take(1))
            return 0;
        return m_payload[m_next - 1];
    }
    std::uint32_t u32()
    {
        if (!take(4))
            return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t{m_payload[m_next - 4 + i]} << (8 * i);
        return value;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int16_t i16()
    {
        if (!take(2))
            return 0;
        const auto bits = static_cast<std::uint16_t>(m_payload[m_next - 2] | m_payload[m_next - 1] << 8);
        return static_cast<std::int16_t>(bits);
    }
    std::vector<std::uint8_t> bytes(std::size_t count)
    {
        if (!take(count))
            return {};
        return {m_payload.begin() + static_cast<std::ptrdiff_t>(m_next - count),
                m_payload.begin() + static_cast<std::ptrdiff_t>(m_next)};
    }
    std::string rest()
    {
        const std::size_t from = std::min(m_next, m_payload.size());
        m_next = m_payload.size();
        return {m_payload.begin() + static_cast<std::ptrdiff_t>(from), m_payload.end()};
    }

    // Whether everything read so far was there and nothing is left.
    bool complete() const { return !m_failed && m_next == m_payload.size(); }

private:
    bool take(std::size_t count)
    {
        if (m_failed || m_payload.size() - m_next < count) {
            m_failed = true;
            return false;
        }
        m_next += count;
        return true;
    }

    const std::vector<std::uint8_t> &m_payload;
    std::size_t m_next = 0;
    bool m_failed = false;
};

bool validFunction(std::uint8_t value)
{
    return value < kFunctionCount;
}

} // namespace

std::size_t bufferSize(Function function)
{
    switch (function) {
    case Function::Request:
        return kCardBufferSize;
    case Function::GetModel:
        return kModelBufferSize;
    default:
        return 0;
    }
}

std::vector<std::uint8_t> encode(const Hello &message)
{
    PayloadWriter writer(MessageType::Hello);
    writer.u32(message.version);
    writer.text(message.library);
    return writer.take();
}

std::vector<std::uint8_t> encode(const HelloReply &message)
{
    PayloadWriter writer(MessageType::HelloReply);
    for (const std::uint8_t byte : kHostMagic)
        writer.u8(byte);
    writer.u32(message.version);
    return writer.take();
}

std::vector<std::uint8_t> encode(const Call &message)
{
    PayloadWriter writer(MessageType::Call);
    writer.u8(static_cast<std::uint8_t>(message.function));
    switch (message.function) {
    case Function::InitCom:
        writer.i32(message.icdev);
        writer.i32(message.port);
        writer.i32(message.baud);
        break;
    case Function::ClosePort:
        break;
    case Function::Request:
        writer.i32(message.icdev);
        writer.u8(message.byteArgument);
        writer.u8(message.present);
        writer.i32(message.aux);
        writer.bytes(message.buffer);
        break;
    case Function::GetModel:
        writer.i32(message.icdev);
        writer.u8(message.present);
        writer.i32(message.aux);
        writer.bytes(message.buffer);
        break;
    case Function::Light:
    case Function::Beep:
        writer.i32(message.icdev);
        writer.u8(message.byteArgument);
        break;
    }
    return writer.take();
}

std::vector<std::uint8_t> encode(const CallReply &message, Function function)
{
    PayloadWriter writer(MessageType::CallReply);
    writer.u8(static_cast<std::uint8_t>(message.outcome));
    writer.i16(message.status);
    if (bufferSize(function) != 0) {
        writer.i32(message.aux);
        writer.bytes(message.buffer);
    }
    writer.text(message.text);
    return writer.take();
}

std::optional<Hello> decodeHello(const std::vector<std::uint8_t> &payload)
{
    PayloadReader reader(payload, MessageType::Hello);
    Hello message;
    message.version = reader.u32();
    message.library = reader.rest();
    return reader.complete() ? std::optional(message) : std::nullopt;
}

std::optional<HelloReply> decodeHelloReply(const std::vector<std::uint8_t> &payload)
{
    PayloadReader reader(payload, MessageType::HelloReply);
    for (const std::uint8_t byte : kHostMagic)
        if (reader.u8() != byte)
            return std::nullopt;
    HelloReply message;
    message.version = reader.u32();
    return reader.complete() ? std::optional(message) : std::nullopt;
}

std::optional<Call> decodeCall(const std::vector<std::uint8_t> &payload)
{
    PayloadReader reader(payload, MessageType::Call);
    const std::uint8_t function = reader.u8();
    if (!validFunction(function))
        return std::nullopt;
    Call message;
    message.function = static_cast<Function>(function);
    switch (message.function) {
    case Function::InitCom:
        message.icdev = reader.i32();
        message.port = reader.i32();
        message.baud = reader.i32();
        break;
    case Function::ClosePort:
        break;
    case Function::Request:
        message.icdev = reader.i32();
        message.byteArgument = reader.u8();
        message.present = reader.u8();
        message.aux = reader.i32();
        message.buffer = reader.bytes(kCardBufferSize);
        break;
    case Function::GetModel:
        message.icdev = reader.i32();
        message.present = reader.u8();
        message.aux = reader.i32();
        message.buffer = reader.bytes(kModelBufferSize);
        break;
    case Function::Light:
    case Function::Beep:
        message.icdev = reader.i32();
        message.byteArgument = reader.u8();
        break;
    }
    return reader.complete() ? std::optional(message) : std::nullopt;
}

std::optional<CallReply> decodeCallReply(const std::vector<std::uint8_t> &payload, Function function)
{
    PayloadReader reader(payload, MessageType::CallReply);
    CallReply message;
    const std::uint8_t outcome = reader.u8();
    if (outcome > static_cast<std::uint8_t>(Outcome::FunctionMissing))
        return std::nullopt;
    message.outcome = static_cast<Outcome>(outcome);
    message.status = reader.i16();
    if (const std::size_t size = bufferSize(function); size != 0) {
        message.aux = reader.i32();
        message.buffer = reader.bytes(size);
    }
    message.text = reader.rest();
    return reader.complete() ? std::optional(message) : std::nullopt;
}

std::array<std::uint8_t, 4> framePrefix(std::size_t payloadSize)
{
    const auto size = static_cast<std::uint32_t>(payloadSize);
    return {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
}

std::vector<std::uint8_t> framed(const std::vector<std::uint8_t> &payload)
{
    std::vector<std::uint8_t> frame;
    frame.reserve(4 + payload.size());
    for (const std::uint8_t byte : framePrefix(payload.size()))
        frame.push_back(byte);
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

std::uint32_t frameLength(const std::array<std::uint8_t, 4> &prefix)
{
    return std::uint32_t{prefix[0]} | std::uint32_t{prefix[1]} << 8 | std::uint32_t{prefix[2]} << 16 |
           std::uint32_t{prefix[3]} << 24;
}

CallReply answer(Reader &reader, Call &call)
{
    CallReply reply;
    std::uint8_t *const buffer = call.present & kBufferPresent ? call.buffer.data() : nullptr;
    const bool aux = call.present & kAuxPresent;
    reply.aux = call.aux;
    switch (call.function) {
    case Function::InitCom:
        reply.status = reader.initCom(call.icdev, call.port, call.baud);
        break;
    case Function::ClosePort:
        reply.status = reader.closePort();
        break;
    case Function::Request:
        reply.status = reader.request(call.icdev, call.byteArgument, buffer, aux ? &reply.aux : nullptr);
        break;
    case Function::GetModel: {
        auto modelAux = static_cast<std::uint8_t>(call.aux);
        reply.status = reader.getModel(call.icdev, buffer, aux ? &modelAux : nullptr);
        reply.aux = modelAux;
        break;
    }
    case Function::Light:
        reply.status = reader.light(call.icdev, call.byteArgument);
        break;
    case Function::Beep:
        reply.status = reader.beep(call.icdev, call.byteArgument);
        break;
    }
    reply.buffer = std::move(call.buffer);
    return reply;
}

} // namespace kv::bridge
