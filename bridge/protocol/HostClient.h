// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The client side of the reader host: the six reader functions, each sent to
// a running host and answered by the maker's library in it. Shared by the
// Wine bridge on Linux and the 64-bit program on Windows, which differ only
// in how they start the host (startHost()) and in the process behind the link.
//
// A call that never reaches the library fails with a negative status and one
// line on standard error. A cause the operator can remove (a host that cannot
// start, a missing library or function) is also kept, once per kind, for the
// program to show (takeProblem()). A host that crashes, ends or misses the
// deadline is killed and reaped, and the next call starts a new one, which
// reopens the port if the caller had it open. A close while no host runs is
// answered at once: no host has a port open then.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BridgeProtocol.h"
#include "ReaderMessages.h"

namespace kv::bridge {

using Clock = std::chrono::steady_clock;

// Status codes of calls that never got an answer from the maker's library.
inline constexpr std::int16_t kNotLoaded = -1;     // the DLL or the function could not be loaded
inline constexpr std::int16_t kHostFailed = -2;    // the host crashed, ended or missed the deadline
inline constexpr std::int16_t kNoHost = -3;        // the host could not be started
inline constexpr std::int16_t kInternalError = -4; // an exception inside the client
// A close with no host running and no port open, answered as the project's
// readers answer a close with nothing open.
inline constexpr std::int16_t kNothingOpen = 1;

inline constexpr std::chrono::seconds kDefaultCallTimeout{10};
// The host's start, up to its answer to the hello.
inline constexpr std::chrono::seconds kStartTimeout{60};

// A started host process, spoken to in frames over its standard input and
// output.
class HostLink
{
public:
    HostLink() = default;
    HostLink(const HostLink &) = delete;
    HostLink &operator=(const HostLink &) = delete;
    virtual ~HostLink() = default;

    enum class Result { Ok, Ended, TimedOut };

    virtual bool running() const = 0;
    // Whether the host has ended by itself; reaps it and says how in `why`.
    virtual bool checkEnded(std::string &why) = 0;
    // Sends one frame. Ended: the host is gone; `why` says how.
    virtual Result send(const std::vector<std::uint8_t> &payload, std::string &why) = 0;
    // Receives one frame by `deadline`. Ended: the host ended or the stream
    // broke; TimedOut: no whole frame by the deadline. `why` says which.
    Result receive(std::vector<std::uint8_t> &payload, Clock::time_point deadline, std::string &why);
    // Kills the host if it still runs and reaps it.
    virtual void stop() = 0;

protected:
    // Reads exactly `size` bytes of the host's output by `deadline`.
    virtual Result readExact(std::uint8_t *data, std::size_t size, Clock::time_point deadline, std::string &why) = 0;
};

class HostClient : public Reader
{
public:
    // `reportPrefix` starts every line on standard error ("wine bridge").
    explicit HostClient(std::string reportPrefix) : m_reportPrefix(std::move(reportPrefix)) {}

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

    // The oldest cause of failing calls not taken yet, each kind once per
    // run: one line saying what is wrong and how to fix it. Null when there
    // is none; the text stays valid until the next call.
    const char *takeProblem() override;

protected:
    // The link to the host, running or not.
    virtual HostLink &link() = 0;
    // Starts the host and greets it (greet()); false, with the status for the
    // caller and the reason reported, when it cannot.
    virtual bool startHost(std::int16_t &status) = 0;
    // What the operator can do about a library the host cannot load.
    virtual std::string libraryHint() const = 0;
    // The hello exchange with a just started host, which is to load `library`.
    // False, with `why`, when the host gives no proper answer by `deadline`.
    bool greet(const std::string &library, Clock::time_point deadline, std::string &why);

    void setCallTimeout(std::chrono::milliseconds timeout) { m_callTimeout = timeout; }
    void report(const std::string &line) const;
    // Reports a cause of failure of kind `kind` on standard error, and the
    // first of each kind also for the operator (takeProblem()).
    void reportCause(const std::string &kind, const std::string &line);

private:
    struct OpenPort
    {
        std::int32_t icdev, port, baud;
    };

    // Sends the call and takes the answer into `reply`; the status for the
    // caller.
    std::int16_t forward(const Call &call, CallReply &reply);
    // Sends the whole buffer (the card's or the version's) and the aux
    // variable with the call, and copies both back from the reply.
    template<typename Aux>
    std::int16_t forwardWithBuffer(Call call, std::uint8_t *buffer, Aux *aux);
    std::int16_t exchange(const Call &call, CallReply &reply, Clock::time_point deadline, bool &failed);
    // Whether a host runs; one that has ended by itself is reaped and reported.
    bool hostRunning();

    const std::string m_reportPrefix;
    std::chrono::milliseconds m_callTimeout = kDefaultCallTimeout;
    std::mutex m_mutex; // calls are served one at a time
    bool m_hostFailedBefore = false;
    std::optional<OpenPort> m_openPort; // what to reopen after a new start
    ReaderMessages m_messages; // the causes for the program
};

} // namespace kv::bridge
