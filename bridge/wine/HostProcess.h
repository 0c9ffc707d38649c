// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// A child process spoken to in frames over its standard input and output,
// with a deadline on every answer. Linux: fork and exec, pipes, poll.
//
// The child inherits standard error. It is killed when the thread that
// started it ends (the tool may end at once, without running destructors),
// when a deadline passes, and when this object goes.

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "HostClient.h"

namespace kv::bridge {


class HostProcess final : public HostLink
{
public:
    HostProcess() = default;
    ~HostProcess() override { stop(); }

    // Starts `program` (a path) with `arguments` (argv[1...]) and the
    // environment `environment` ("NAME=value" items).
    bool start(const std::string &program, const std::vector<std::string> &arguments,
               const std::vector<std::string> &environment, std::string &why);
    bool running() const override { return m_pid > 0; }
    bool checkEnded(std::string &why) override;
    Result send(const std::vector<std::uint8_t> &payload, std::string &why) override;
    void stop() override;

private:
    Result readExact(std::uint8_t *data, std::size_t size, Clock::time_point deadline, std::string &why) override;
    void closePipes();

    pid_t m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
};

// Runs `program` to its end with standard output sent to standard error and
// no standard input. False, with `why`, when it cannot start, fails, or is
// still running at `deadline` (it is killed then).
bool runToEnd(const std::string &program, const std::vector<std::string> &arguments,
              const std::vector<std::string> &environment, Clock::time_point deadline, std::string &why);

// How a child ended, from a waitpid() status: "exit status 3", "signal 9".
std::string describeExit(int status);

} // namespace kv::bridge
