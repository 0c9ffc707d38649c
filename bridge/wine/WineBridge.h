// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The bridge: a Linux reader library whose six functions are served by the
// maker's Windows library, loaded into the reader host (a small Windows
// program) that runs under Wine.
//
// At the first call the bridge starts the host from the bridge's own folder
// under Wine, and then forwards each call to it and waits for the answer, up
// to a deadline. The host matches the DLL: kv718st-reader-host64.exe for a
// DLL file built for 64-bit Windows, kv718st-reader-host.exe for any other
// (a 32-bit DLL, or a bare name, since the maker's DLL is a 32-bit one).
// What it needs comes from the environment, read at every start of the host:
//
//   KV718ST_WINE              the Wine program (default: wine on PATH; for
//                             the 64-bit host wine64 on PATH, or Debian's
//                             /usr/lib/wine/wine64, before wine)
//   WINEPREFIX                the Wine prefix (default: a private one in
//                             $XDG_DATA_HOME/kv718st-demo/wine, made at the
//                             first start)
//   KV718ST_WINDOWS_LIBRARY   the maker's DLL: a Linux path, or a bare name
//                             that Windows' search order resolves (default
//                             Veltronanew125K.dll)
//   KV718ST_WINE_TIMEOUT      the deadline of a call in seconds (default 10)
//
// The host runs with WINEDEBUG=-all (unless set) and without Wine's Mono and
// Gecko installers.
//
// Failures never reach the caller as anything but a non-zero status, and each
// is explained by one line on standard error. Causes the operator can remove
// (no Wine, no 32-bit Wine or a system that cannot run it, no host, no
// prefix, no DLL or function) are also offered to the program once per kind
// through the optional entry point kv718st_take_problem, so that its window
// can show them. A host that crashes, ends or misses its deadline is killed
// and reaped, and the next call starts a new one, which reopens the port if
// the tool had it open.

#include <chrono>
#include <string>
#include <vector>

#include "HostClient.h"
#include "HostProcess.h"

namespace kv::bridge {

inline constexpr const char *kDefaultLibrary = "Veltronanew125K.dll";
inline constexpr const char *kHostFileName = "kv718st-reader-host.exe";
inline constexpr const char *kHost64FileName = "kv718st-reader-host64.exe";
// Making a new prefix (wineboot), before the first start.
inline constexpr std::chrono::seconds kPrefixTimeout{300};

// Where the host is started from and how; see settingsFromEnvironment().
struct Settings
{
    std::string wine;        // absolute path, empty when not found
    std::string wineWanted;  // what was asked for (KV718ST_WINE or "wine")
    std::string prefix;      // WINEPREFIX
    std::string library;     // as sent to the host
    std::string host;        // the host's path
    int hostBits = 32;       // 32 or 64
    std::chrono::milliseconds callTimeout = kDefaultCallTimeout;
    std::vector<std::string> environment; // of the host
};

// `bridgeFolder`: the folder the bridge library was loaded from.
Settings settingsFromEnvironment(const std::string &bridgeFolder);

// 64 for a Windows DLL or program built for x86-64, 32 for one built for x86,
// 0 for anything else or a file that cannot be read.
int windowsBinaryBits(const std::string &path);

class WineBridge final : public HostClient
{
public:
    WineBridge() : HostClient("wine bridge") {}

private:
    HostLink &link() override { return m_host; }
    bool startHost(std::int16_t &status) override;
    std::string libraryHint() const override
    {
        return "put the maker's Veltronanew125K.dll where Windows finds it, or name it in KV718ST_WINDOWS_LIBRARY";
    }
    bool makePrefix();

    HostProcess m_host;
    Settings m_settings;
};

WineBridge &sharedBridge();

} // namespace kv::bridge
