// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "HostProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BridgeProtocol.h"

namespace kv::bridge {

namespace {

// How often a wait looks whether the child is still there: a child that
// ends need not close its end of the pipes (Wine's own helper processes may
// hold them), so its end is noticed by its process, not by the pipe.
constexpr std::chrono::milliseconds kAliveCheck{100};
constexpr std::chrono::milliseconds kExitGrace{500};

struct ChildSetup
{
    int input = -1;  // becomes standard input; -1: /dev/null
    int output = -1; // becomes standard output; -1: standard error
    // Descriptors below this are closed in the child where the system has
    // no close_range(); taken before fork(), as sysconf() may not be called
    // after it.
    int descriptorLimit = 1024;
};

std::vector<char *> pointers(std::vector<std::string> &items)
{
    std::vector<char *> result;
    result.reserve(items.size() + 1);
    for (std::string &item : items)
        result.push_back(item.data());
    result.push_back(nullptr);
    return result;
}

// fork() and exec(); between the two only async-signal-safe calls.
pid_t spawn(const std::string &program, const std::vector<std::string> &arguments,
            const std::vector<std::string> &environment, ChildSetup setup, std::string &why)
{
    std::vector<std::string> argvItems{program};
    argvItems.insert(argvItems.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envItems = environment;
    const std::vector<char *> argv = pointers(argvItems);
    const std::vector<char *> envp = pointers(envItems);
    const pid_t parent = getpid();
    if (const long limit = sysconf(_SC_OPEN_MAX); limit > 0)
        setup.descriptorLimit = static_cast<int>(std::min<long>(limit, 1 << 20));

    const pid_t pid = fork();
    if (pid < 0) {
        why = std::string("fork failed: ") + std::strerror(errno);
        return -1;
    }
    if (pid > 0)
        return pid;

    // The child. Killed with the thread that started it, so that a tool
    // that ends at once leaves no host behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    // A process group of its own: a Ctrl+C at the tool's terminal is the
    // tool's to handle, which closes the port through the host before it
    // ends. The host ends with the tool all the same.
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    // A tool started with standard error closed gives the child /dev/null
    // there, so that nothing the child opens lands on it. The pipes lie
    // above the standard descriptors (pipeAboveStandard()), so none of this
    // can take their place.
    if (fcntl(STDERR_FILENO, F_GETFD) < 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0 && null != STDERR_FILENO && (dup2(null, STDERR_FILENO) < 0 || close(null) < 0))
            _exit(127);
    }
    const int input = setup.input >= 0 ? setup.input : open("/dev/null", O_RDONLY);
    const int output = setup.output >= 0 ? setup.output : STDERR_FILENO;
    if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0)
        _exit(127);
    // Nothing else of the tool's goes to Wine: not its other files, nor the
    // launcher's lock on the prefix, which is the tool's alone to hold.
    if (close_range(STDERR_FILENO + 1, ~0U, 0) != 0)
        for (int fd = STDERR_FILENO + 1; fd < setup.descriptorLimit; ++fd)
            close(fd);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

// A pipe whose ends lie above the standard descriptors. A tool started with
// standard input or output closed would get 0 or 1 from pipe2(), and the
// child's dup2() onto the same number would keep it close-on-exec: the host
// would start with that descriptor closed.
bool pipeAboveStandard(int ends[2], std::string &why)
{
    if (pipe2(ends, O_CLOEXEC) != 0) {
        why = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (ends[i] > STDERR_FILENO)
            continue;
        const int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        const int error = errno;
        close(ends[i]);
        ends[i] = moved;
        if (moved < 0) {
            why = std::string("no pipe: ") + std::strerror(error);
            close(ends[1 - i]);
            ends[0] = ends[1] = -1;
            return false;
        }
    }
    return true;
}

bool reaped(pid_t pid, std::string &why)
{
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == 0)
        return false;
    why = result == pid ? describeExit(status) : "it is gone";
    return true;
}

void killAndReap(pid_t pid)
{
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

int millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kAliveCheck.count()));
}

} // namespace

std::string describeExit(int status)
{
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

bool HostProcess::start(const std::string &program, const std::vector<std::string> &arguments,
                        const std::vector<std::string> &environment, std::string &why)
{
    stop();
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (!pipeAboveStandard(toChild, why))
        return false;
    if (!pipeAboveStandard(fromChild, why)) {
        close(toChild[0]);
        close(toChild[1]);
        return false;
    }
    m_pid = spawn(program, arguments, environment, {toChild[0], fromChild[1]}, why);
    close(toChild[0]);
    close(fromChild[1]);
    m_toChild = toChild[1];
    m_fromChild = fromChild[0];
    if (m_pid < 0) {
        closePipes();
        return false;
    }
    return true;
}

HostProcess::Result HostProcess::send(const std::vector<std::uint8_t> &payload, std::string &why)
{
    const std::vector<std::uint8_t> frame = framed(payload);

    // A child that has gone must not end the tool with SIGPIPE: the signal
    // is blocked for this thread while writing, and one it raised is taken
    // back before the mask is restored.
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    std::size_t done = 0;
    bool broken = false;
    while (done < frame.size()) {
        const ssize_t put = write(m_toChild, frame.data() + done, frame.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            broken = true;
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    if (broken) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!broken)
        return Result::Ok;
    if (!checkEnded(why))
        why = "its input was closed";
    return Result::Ended;
}

HostProcess::Result HostProcess::readExact(std::uint8_t *data, std::size_t size, Clock::time_point deadline,
                                           std::string &why)
{
    while (size > 0) {
        pollfd watch{m_fromChild, POLLIN, 0};
        const int ready = poll(&watch, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            why = std::string("poll failed: ") + std::strerror(errno);
            return Result::Ended;
        }
        if (ready > 0) {
            const ssize_t got = read(m_fromChild, data, size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                // A child that closed its output is usually ending: give it a
                // moment, so that the report can say how it ended.
                const Clock::time_point grace = Clock::now() + kExitGrace;
                while (!checkEnded(why)) {
                    if (Clock::now() >= grace) {
                        why = "it closed its output";
                        break;
                    }
                    poll(nullptr, 0, 10);
                }
                return Result::Ended;
            }
            data += got;
            size -= static_cast<std::size_t>(got);
            continue;
        }
        if (checkEnded(why))
            return Result::Ended;
        if (Clock::now() >= deadline)
            return Result::TimedOut;
    }
    return Result::Ok;
}

bool HostProcess::checkEnded(std::string &why)
{
    if (m_pid <= 0) {
        why = "it is not running";
        return true;
    }
    if (!reaped(m_pid, why))
        return false;
    m_pid = -1;
    closePipes();
    return true;
}

void HostProcess::stop()
{
    if (m_pid > 0)
        killAndReap(m_pid);
    m_pid = -1;
    closePipes();
}

void HostProcess::closePipes()
{
    for (int *fd : {&m_toChild, &m_fromChild}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

bool runToEnd(const std::string &program, const std::vector<std::string> &arguments,
              const std::vector<std::string> &environment, Clock::time_point deadline, std::string &why)
{
    const pid_t pid = spawn(program, arguments, environment, {}, why);
    if (pid < 0)
        return false;
    for (;;) {
        int status = 0;
        const pid_t result = waitpid(pid, &status, WNOHANG);
        if (result == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return true;
            why = describeExit(status);
            return false;
        }
        if (result < 0 && errno != EINTR) {
            why = std::string("waitpid failed: ") + std::strerror(errno);
            return false;
        }
        if (Clock::now() >= deadline) {
            killAndReap(pid);
            why = "it did not finish in time";
            return false;
        }
        poll(nullptr, 0, static_cast<int>(kAliveCheck.count()));
    }
}

} // namespace kv::bridge
