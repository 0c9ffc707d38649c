// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "HostClient.h"

#include <array>
#include <cstring>
#include <iostream>

namespace kv::bridge {

namespace {

Call callOf(Function function, std::int32_t icdev = 0)
{
    Call call;
    call.function = function;
    call.icdev = icdev;
    return call;
}

Call initComCall(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    Call call = callOf(Function::InitCom, icdev);
    call.port = port;
    call.baud = baud;
    return call;
}

} // namespace

std::int16_t HostClient::initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    const std::lock_guard lock(m_mutex);
    CallReply reply;
    const std::int16_t status = forward(initComCall(icdev, port, baud), reply);
    if (reply.outcome == Outcome::Returned)
        m_openPort = status == 0 ? std::optional(OpenPort{icdev, port, baud}) : std::nullopt;
    return status;
}

std::int16_t HostClient::closePort()
{
    const std::lock_guard lock(m_mutex);
    // No host, no open port: a host that never ran opened nothing, and one
    // that ended took its port with it. Starting Wine (and perhaps making a
    // prefix) only to close would keep the caller waiting for nothing, as at
    // the shut-down of a program that never read.
    if (!hostRunning()) {
        const bool wasOpen = m_openPort.has_value();
        m_openPort.reset();
        return wasOpen ? 0 : kNothingOpen;
    }
    CallReply reply;
    const std::int16_t status = forward(callOf(Function::ClosePort), reply);
    if (reply.outcome == Outcome::Returned && status == 0)
        m_openPort.reset();
    return status;
}

std::int16_t HostClient::request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    const std::lock_guard lock(m_mutex);
    Call call = callOf(Function::Request, icdev);
    call.byteArgument = format;
    return forwardWithBuffer(std::move(call), buffer, aux);
}

std::int16_t HostClient::getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    const std::lock_guard lock(m_mutex);
    return forwardWithBuffer(callOf(Function::GetModel, icdev), buffer, aux);
}

std::int16_t HostClient::light(std::int32_t icdev, std::uint8_t code)
{
    const std::lock_guard lock(m_mutex);
    Call call = callOf(Function::Light, icdev);
    call.byteArgument = code;
    CallReply reply;
    return forward(call, reply);
}

std::int16_t HostClient::beep(std::int32_t icdev, std::uint8_t value)
{
    const std::lock_guard lock(m_mutex);
    Call call = callOf(Function::Beep, icdev);
    call.byteArgument = value;
    CallReply reply;
    return forward(call, reply);
}

template<typename Aux>
std::int16_t HostClient::forwardWithBuffer(Call call, std::uint8_t *buffer, Aux *aux)
{
    call.present = static_cast<std::uint8_t>((buffer ? kBufferPresent : 0) | (aux ? kAuxPresent : 0));
    call.aux = aux ? *aux : 0;
    call.buffer.assign(bufferSize(call.function), 0);
    if (buffer)
        std::memcpy(call.buffer.data(), buffer, call.buffer.size());
    CallReply reply;
    const std::int16_t status = forward(call, reply);
    if (reply.outcome == Outcome::Returned) {
        if (buffer)
            std::memcpy(buffer, reply.buffer.data(), reply.buffer.size());
        if (aux)
            *aux = static_cast<Aux>(reply.aux);
    }
    return status;
}

std::int16_t HostClient::forward(const Call &call, CallReply &reply)
{
    // Until the library answers, the outcome is not the library's.
    reply.outcome = Outcome::LibraryMissing;
    const bool fresh = !hostRunning();
    if (fresh) {
        std::int16_t status = kNoHost;
        if (!startHost(status))
            return status;
    }
    const Clock::time_point deadline = Clock::now() + m_callTimeout;
    bool failed = false;
    // A new host after a failed one has a library that never saw the port
    // the caller opened: open it again, as the caller last did.
    if (fresh && m_hostFailedBefore && m_openPort && call.function != Function::InitCom) {
        const OpenPort port = *m_openPort;
        CallReply reopened;
        const std::int16_t status =
            exchange(initComCall(port.icdev, port.port, port.baud), reopened, deadline, failed);
        if (failed)
            return kHostFailed;
        report("port " + std::to_string(port.port) + " at " + std::to_string(port.baud) +
               " baud reopened in the new host: " + (status == 0 ? "ok" : "failed, status " + std::to_string(status)));
        if (status != 0)
            m_openPort.reset();
    }
    const std::int16_t status = exchange(call, reply, deadline, failed);
    return failed ? kHostFailed : status;
}

bool HostClient::hostRunning()
{
    if (std::string why; link().running() && link().checkEnded(why)) {
        report("the reader host had ended (" + why + ")");
        m_hostFailedBefore = true;
    }
    return link().running();
}

std::int16_t HostClient::exchange(const Call &call, CallReply &reply, Clock::time_point deadline, bool &failed)
{
    const std::string_view name = readerFunctionName(call.function);
    std::string why;
    std::vector<std::uint8_t> payload;
    HostLink::Result result = link().send(encode(call), why);
    if (result == HostLink::Result::Ok)
        result = link().receive(payload, deadline, why);
    std::optional<CallReply> decoded;
    if (result == HostLink::Result::Ok) {
        decoded = decodeCallReply(payload, call.function);
        if (!decoded)
            why = "sent a malformed reply";
    } else if (result == HostLink::Result::TimedOut) {
        why = "gave no answer within " + std::to_string(m_callTimeout.count()) + " ms";
    } else {
        why = "ended (" + why + ")";
    }
    if (!decoded) {
        report(std::string(name) + " failed: the reader host " + why +
               "; it was ended, and the next call starts a new one");
        link().stop();
        m_hostFailedBefore = true;
        failed = true;
        return kHostFailed;
    }
    reply = std::move(*decoded);
    if (reply.outcome == Outcome::Returned)
        return reply.status;
    if (reply.outcome == Outcome::LibraryMissing)
        reportCause("library", reply.text + " (" + libraryHint() + ")");
    else
        reportCause("function " + std::string(name),
                    reply.text + " (the library is not the reader maker's, or another version of it)");
    return kNotLoaded;
}

HostLink::Result HostLink::receive(std::vector<std::uint8_t> &payload, Clock::time_point deadline, std::string &why)
{
    std::array<std::uint8_t, 4> prefix{};
    if (const Result result = readExact(prefix.data(), prefix.size(), deadline, why); result != Result::Ok)
        return result;
    const std::uint32_t length = frameLength(prefix);
    if (length == 0 || length > kMaxPayload) {
        why = "it sent a malformed frame";
        return Result::Ended;
    }
    payload.resize(length);
    return readExact(payload.data(), length, deadline, why);
}

bool HostClient::greet(const std::string &library, Clock::time_point deadline, std::string &why)
{
    std::vector<std::uint8_t> payload;
    HostLink::Result result = link().send(encode(Hello{kProtocolVersion, library}), why);
    if (result == HostLink::Result::Ok)
        result = link().receive(payload, deadline, why);
    if (result == HostLink::Result::TimedOut)
        why = "it did not answer within " + std::to_string(kStartTimeout.count()) + " s";
    if (result != HostLink::Result::Ok)
        return false;
    const std::optional<HelloReply> reply = decodeHelloReply(payload);
    if (!reply || reply->version != kProtocolVersion) {
        why = "it speaks another protocol";
        return false;
    }
    return true;
}

void HostClient::report(const std::string &line) const
{
    std::cerr << (m_reportPrefix + ": " + line + "\n") << std::flush;
}

void HostClient::reportCause(const std::string &kind, const std::string &line)
{
    report(line);
    m_messages.addProblem(kind, line);
}

const char *HostClient::takeProblem()
{
    const std::lock_guard lock(m_mutex);
    return m_messages.takeProblem();
}

} // namespace kv::bridge
