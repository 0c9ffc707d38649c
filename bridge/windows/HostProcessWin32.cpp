// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "HostProcessWin32.h"

#include "WindowsText.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>

namespace kv::bridge {

namespace {

std::string errorText(const char *what)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (Windows error %lu)", what, GetLastError());
    return text;
}

std::string exitText(HANDLE process)
{
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    char text[48];
    std::snprintf(text, sizeof text, "exit code 0x%08lX", code);
    return text;
}

DWORD millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
}

void closeHandle(void *&handle)
{
    if (handle && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace

HostProcessWin32::~HostProcessWin32()
{
    stop();
    closeHandle(m_job);
}

// The host's standard input is an anonymous pipe; its output a named pipe, so
// that this side can read it with overlapped I/O (anonymous pipes cannot).
// The child's ends are inheritable, this side's are not.
bool HostProcessWin32::openPipes(void *&childIn, void *&childOut, std::string &why)
{
    static std::atomic<unsigned> counter{0};
    wchar_t name[96];
    std::swprintf(name, sizeof name / sizeof name[0], L"\\\\.\\pipe\\kv718st-reader-host-%lu-%u",
                  GetCurrentProcessId(), ++counter);
    m_fromChild = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 64 * 1024, 64 * 1024,
                                   0, nullptr);
    if (m_fromChild == INVALID_HANDLE_VALUE) {
        m_fromChild = nullptr;
        why = errorText("CreateNamedPipe");
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    childOut = CreateFileW(name, GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE toChild = nullptr;
    if (childOut == INVALID_HANDLE_VALUE || !CreatePipe(&childIn, &toChild, &inherit, 0)) {
        why = errorText("creating the host's pipes");
        if (childOut != INVALID_HANDLE_VALUE)
            CloseHandle(childOut);
        closeHandles();
        return false;
    }
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    m_toChild = toChild;
    m_readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return true;
}

// One job for every host this object starts: closing it, as Windows does
// when this process ends however it ends, ends the host.
void HostProcessWin32::makeJob()
{
    if (m_job)
        return;
    m_job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (m_job)
        SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

bool HostProcessWin32::start(const std::wstring &path, std::string &why)
{
    stop();
    void *childIn = nullptr;
    void *childOut = nullptr;
    if (!openPipes(childIn, childOut, why))
        return false;
    makeJob();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + path + L"\"";
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that not even its first steps
    // can outlive this process.
    const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) {
        why = errorText("CreateProcess");
        closeHandles();
        return false;
    }
    if (m_job)
        AssignProcessToJobObject(m_job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    return true;
}

bool HostProcessWin32::checkEnded(std::string &why)
{
    if (!m_process) {
        why = "it is not running";
        return true;
    }
    if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0)
        return false;
    why = exitText(m_process);
    closeHandles();
    return true;
}

HostLink::Result HostProcessWin32::send(const std::vector<std::uint8_t> &payload, std::string &why)
{
    const std::vector<std::uint8_t> frame = framed(payload);
    std::size_t done = 0;
    while (done < frame.size()) {
        DWORD put = 0;
        if (!WriteFile(m_toChild, frame.data() + done, static_cast<DWORD>(frame.size() - done), &put, nullptr) ||
            put == 0) {
            if (!checkEnded(why))
                why = "its input was closed";
            return Result::Ended;
        }
        done += put;
    }
    return Result::Ok;
}

HostLink::Result HostProcessWin32::readExact(std::uint8_t *data, std::size_t size, Clock::time_point deadline,
                                             std::string &why)
{
    while (size > 0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_readDone;
        ResetEvent(m_readDone);
        DWORD got = 0;
        if (!ReadFile(m_fromChild, data, static_cast<DWORD>(size), &got, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                if (!checkEnded(why))
                    why = "it closed its output";
                return Result::Ended;
            }
            const HANDLE waits[] = {m_readDone, m_process};
            const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, millisecondsUntil(deadline));
            if (woke != WAIT_OBJECT_0) {
                // The host ended or the deadline passed: take the read back
                // before its buffer goes.
                CancelIoEx(m_fromChild, &overlapped);
                GetOverlappedResult(m_fromChild, &overlapped, &got, TRUE);
                if (woke == WAIT_OBJECT_0 + 1 && got == 0) {
                    checkEnded(why);
                    return Result::Ended;
                }
                if (woke != WAIT_OBJECT_0 + 1 && got == 0)
                    return Result::TimedOut;
            } else if (!GetOverlappedResult(m_fromChild, &overlapped, &got, FALSE)) {
                if (!checkEnded(why))
                    why = "it closed its output";
                return Result::Ended;
            }
        }
        data += got;
        size -= got;
    }
    return Result::Ok;
}

void HostProcessWin32::stop()
{
    if (m_process) {
        TerminateProcess(m_process, 1);
        WaitForSingleObject(m_process, 5000);
    }
    closeHandles();
}

void HostProcessWin32::closeHandles()
{
    closeHandle(m_process);
    closeHandle(m_toChild);
    closeHandle(m_fromChild);
    closeHandle(m_readDone);
}

} // namespace kv::bridge
