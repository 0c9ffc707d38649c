// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// libFuzzer harness for the reader host protocol as its clients meet it: the
// bytes come from a host that may be broken.
//
// The input is first taken as one payload and given to every decoder: a
// message that a decoder accepts must encode to exactly the same bytes, so
// that nothing is dropped, read twice or made up. Then the input is the whole
// output of a host, and the client that the Wine bridge and the Windows
// program share (HostClient) makes a fixed series of calls against it,
// starting the host again whenever it fails. For every call:
//   - its buffer and aux variable change only when the answer to that call
//     was a well-formed reply in which the library returned, and then they
//     hold exactly what the reply carried, and the status is the reply's;
//     otherwise the status is one of the client's own failures;
//   - a close while no host runs sends and reads nothing and reports nothing
//     open, or closed when the port was open;
// and over the run each kind of cause reaches the operator at most once.
// A broken property prints the input and aborts, which libFuzzer reports as
// a finding. Run on files instead of a folder, the binary replays them once
// each.

#include "BridgeProtocol.h"
#include "HostClient.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace kv::bridge;
using Bytes = std::vector<std::uint8_t>;

std::span<const std::uint8_t> g_input;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bridge protocol property broken: %s\ninput (%zu bytes):", what, g_input.size());
    for (const std::uint8_t byte : g_input)
        std::fprintf(stderr, " %02X", static_cast<unsigned>(byte));
    std::fprintf(stderr, "\n");
    std::abort();
}

void check(bool holds, const char *what)
{
    if (!holds)
        fail(what);
}

void decodersAgreeWithEncoders(const Bytes &payload)
{
    if (const std::optional<Hello> hello = decodeHello(payload))
        check(encode(*hello) == payload, "an accepted hello encodes to the same bytes");
    if (const std::optional<HelloReply> reply = decodeHelloReply(payload))
        check(encode(*reply) == payload, "an accepted hello reply encodes to the same bytes");
    if (const std::optional<Call> call = decodeCall(payload)) {
        check(encode(*call) == payload, "an accepted call encodes to the same bytes");
        check(call->buffer.size() == bufferSize(call->function), "an accepted call carries its whole buffer");
    }
    for (std::size_t f = 0; f < kFunctionCount; ++f) {
        const auto function = static_cast<Function>(f);
        if (const std::optional<CallReply> reply = decodeCallReply(payload, function)) {
            check(encode(*reply, function) == payload, "an accepted call reply encodes to the same bytes");
            check(reply->buffer.size() == bufferSize(function), "an accepted call reply carries its whole buffer");
        }
    }
}

// A host whose whole output is the input, read front to back. It notes what
// it was last sent and what was read since, so that the check can find the
// answer to a call on its own.
class ScriptedHost final : public HostLink
{
public:
    explicit ScriptedHost(std::span<const std::uint8_t> output) : m_output(output) {}

    void start() { m_running = true; }
    // Forgets what was sent and read before the call about to be made.
    void beginCall()
    {
        m_lastCall.reset();
        m_readSinceSend.clear();
    }
    bool exhausted() const { return m_next == m_output.size(); }
    std::size_t position() const { return m_next; }
    std::size_t sends() const { return m_sends; }
    // The call last sent (nothing after a hello), and the bytes read since.
    const std::optional<Call> &lastCall() const { return m_lastCall; }
    const Bytes &readSinceSend() const { return m_readSinceSend; }

    bool running() const override { return m_running; }
    // A host whose output has run dry has ended.
    bool checkEnded(std::string &why) override
    {
        if (!m_running || !exhausted())
            return false;
        m_running = false;
        why = "its output ended";
        return true;
    }
    Result send(const std::vector<std::uint8_t> &payload, std::string &why) override
    {
        ++m_sends;
        m_lastCall = decodeCall(payload);
        m_readSinceSend.clear();
        if (m_running)
            return Result::Ok;
        why = "it is not running";
        return Result::Ended;
    }
    void stop() override { m_running = false; }

protected:
    Result readExact(std::uint8_t *data, std::size_t size, Clock::time_point, std::string &why) override
    {
        const std::size_t available = std::min(size, m_output.size() - m_next);
        m_readSinceSend.insert(m_readSinceSend.end(), m_output.begin() + static_cast<std::ptrdiff_t>(m_next),
                               m_output.begin() + static_cast<std::ptrdiff_t>(m_next + available));
        if (available < size) {
            m_next = m_output.size();
            why = "it closed its output";
            return Result::Ended;
        }
        std::memcpy(data, m_output.data() + m_next, size);
        m_next += size;
        return Result::Ok;
    }

private:
    std::span<const std::uint8_t> m_output;
    std::size_t m_next = 0;
    bool m_running = false;
    std::size_t m_sends = 0;
    std::optional<Call> m_lastCall;
    Bytes m_readSinceSend;
};

class ScriptedClient final : public HostClient
{
public:
    explicit ScriptedClient(ScriptedHost &host) : HostClient("fuzz"), m_host(host) {}

private:
    HostLink &link() override { return m_host; }
    bool startHost(std::int16_t &status) override
    {
        status = kNoHost;
        if (m_host.exhausted()) {
            reportCause("start", "the host has nothing more to say");
            return false;
        }
        m_host.start();
        std::string why;
        if (!greet(kDefaultLibrary, Clock::now() + kStartTimeout, why)) {
            m_host.stop();
            reportCause("start", "the host did not greet: " + why);
            return false;
        }
        return true;
    }
    std::string libraryHint() const override { return "none"; }

    static constexpr const char *kDefaultLibrary = "Veltronanew125K.dll";
    ScriptedHost &m_host;
};

// The library's answer to the call last sent, when the bytes read after it
// are one whole frame with a reply in which the library returned.
std::optional<CallReply> returnedAnswer(const ScriptedHost &host, Function function)
{
    const Bytes &read = host.readSinceSend();
    if (!host.lastCall() || host.lastCall()->function != function || read.size() < 4)
        return std::nullopt;
    const std::uint32_t length = frameLength({read[0], read[1], read[2], read[3]});
    if (read.size() != 4 + std::size_t{length})
        return std::nullopt;
    std::optional<CallReply> reply = decodeCallReply(Bytes(read.begin() + 4, read.end()), function);
    if (!reply || reply->outcome != Outcome::Returned)
        return std::nullopt;
    return reply;
}

bool clientFailure(std::int16_t status)
{
    return status == kNotLoaded || status == kHostFailed || status == kNoHost;
}

template<typename Call>
void checkStatus(ScriptedHost &host, Function function, Call call)
{
    host.beginCall();
    const std::int16_t status = call();
    if (const std::optional<CallReply> reply = returnedAnswer(host, function))
        check(status == reply->status, "a returned call gives the library's status");
    else
        check(clientFailure(status), "a call without the library's answer fails with the client's own status");
}

template<std::size_t Size, typename Aux, typename Call>
void checkBufferCall(ScriptedHost &host, Function function, Call call)
{
    std::array<std::uint8_t, Size> buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const std::array<std::uint8_t, Size> before = buffer;
    Aux aux = static_cast<Aux>(0x5A5A5A5A);
    host.beginCall();
    const std::int16_t status = call(buffer.data(), &aux);
    if (const std::optional<CallReply> reply = returnedAnswer(host, function)) {
        check(status == reply->status, "a returned call gives the library's status");
        check(std::equal(buffer.begin(), buffer.end(), reply->buffer.begin(), reply->buffer.end()),
              "a returned call leaves exactly the reply's buffer");
        check(aux == static_cast<Aux>(reply->aux), "a returned call leaves the reply's aux value");
    } else {
        check(clientFailure(status), "a call without the library's answer fails with the client's own status");
        check(buffer == before, "a call without the library's answer leaves the buffer alone");
        check(aux == static_cast<Aux>(0x5A5A5A5A), "a call without the library's answer leaves aux alone");
    }
}

void runClient()
{
    ScriptedHost host(g_input);
    ScriptedClient client(host);
    std::size_t problems = 0;
    const auto drainProblems = [&] {
        while (client.takeProblem())
            ++problems;
    };
    for (int round = 0; round < 3; ++round) {
        checkStatus(host, Function::InitCom, [&] { return client.initCom(0, 2, 19200); });
        drainProblems();
        checkBufferCall<kCardBufferSize, std::int32_t>(host, Function::Request, [&](std::uint8_t *b, std::int32_t *a) {
            return client.request(0, 3, b, a);
        });
        checkBufferCall<kModelBufferSize, std::uint8_t>(host, Function::GetModel, [&](std::uint8_t *b, std::uint8_t *a) {
            return client.getModel(0, b, a);
        });
        checkStatus(host, Function::Light, [&] { return client.light(0, 1); });
        checkStatus(host, Function::Beep, [&] { return client.beep(0, 30); });
        drainProblems();
        for (int close = 0; close < 2; ++close) {
            if (host.running() && !host.exhausted()) {
                checkStatus(host, Function::ClosePort, [&] { return client.closePort(); });
                continue;
            }
            const std::size_t position = host.position();
            const std::size_t sends = host.sends();
            const std::int16_t status = client.closePort();
            check(host.position() == position && host.sends() == sends, "a close with no host runs no host");
            check(status == 0 || status == kNothingOpen, "a close with no host answers closed or nothing open");
        }
        drainProblems();
    }
    // "start", "library" and one per function.
    check(problems <= 2 + kFunctionCount, "each kind of cause reaches the operator at most once");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = [] {
        // The client reports every failure on standard error; thousands a
        // second would only slow the fuzzer down.
        std::cerr.rdbuf(nullptr);
        return true;
    }();
    (void)quiet;
    g_input = std::span<const std::uint8_t>(data, size);
    decodersAgreeWithEncoders(Bytes(data, data + size));
    runClient();
    return 0;
}
