// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The reader host client on Windows: for a program that cannot load the
// maker's DLL into its own process (a 64-bit program and the maker's 32-bit
// DLL), the host beside the program loads it and serves the six functions.

#include <chrono>
#include <string>

#include "HostClient.h"
#include "HostProcessWin32.h"

namespace kv::bridge {

class LocalHostClient final : public HostClient
{
public:
    // `host`: the host program's path; `library`: the DLL's name or path as
    // the host is to load it.
    LocalHostClient(std::wstring host, std::string library,
                    std::chrono::milliseconds callTimeout = kDefaultCallTimeout);

private:
    HostLink &link() override { return m_process; }
    bool startHost(std::int16_t &status) override;
    std::string libraryHint() const override { return "put the maker's Veltronanew125K.dll beside the program"; }

    const std::wstring m_host;
    const std::string m_library;
    HostProcessWin32 m_process;
};

} // namespace kv::bridge
