// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The reader host as a child process on Windows: its standard input is an
// anonymous pipe, its standard output a named pipe read with overlapped I/O,
// so that a wait for an answer ends at the deadline or when the host ends,
// whichever comes first. The host runs in a job object that ends it together
// with this process, however this process ends.

#include <string>
#include <vector>

#include "HostClient.h"

namespace kv::bridge {

class HostProcessWin32 final : public HostLink
{
public:
    HostProcessWin32() = default;
    ~HostProcessWin32() override;

    // Starts the program at `path` with no arguments; standard error is
    // shared with this process.
    bool start(const std::wstring &path, std::string &why);

    bool running() const override { return m_process != nullptr; }
    bool checkEnded(std::string &why) override;
    Result send(const std::vector<std::uint8_t> &payload, std::string &why) override;
    void stop() override;

private:
    Result readExact(std::uint8_t *data, std::size_t size, Clock::time_point deadline, std::string &why) override;
    bool openPipes(void *&childIn, void *&childOut, std::string &why);
    void makeJob();
    void closeHandles();

    // HANDLEs, kept as void * so that this header needs no <windows.h>.
    void *m_process = nullptr;
    void *m_toChild = nullptr;
    void *m_fromChild = nullptr;
    void *m_readDone = nullptr;
    void *m_job = nullptr;
};

} // namespace kv::bridge
