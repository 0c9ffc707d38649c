// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LocalHostClient.h"

#include "WindowsText.h"

namespace kv::bridge {


LocalHostClient::LocalHostClient(std::wstring host, std::string library, std::chrono::milliseconds callTimeout)
    : HostClient("reader host"), m_host(std::move(host)), m_library(std::move(library))
{
    setCallTimeout(callTimeout);
}

bool LocalHostClient::startHost(std::int16_t &status)
{
    status = kNoHost;
    if (GetFileAttributesW(m_host.c_str()) == INVALID_FILE_ATTRIBUTES) {
        reportCause("host", "the reader host " + utf8(m_host) + " is missing: install the program again");
        return false;
    }
    std::string why;
    const Clock::time_point deadline = Clock::now() + kStartTimeout;
    if (!m_process.start(m_host, why)) {
        reportCause("start", "the reader host " + utf8(m_host) + " could not be started: " + why);
        return false;
    }
    if (!greet(m_library, deadline, why)) {
        reportCause("start", "the reader host " + utf8(m_host) + " did not start: " + why);
        m_process.stop();
        return false;
    }
    report("started " + utf8(m_host) + " for " + m_library);
    return true;
}

} // namespace kv::bridge
