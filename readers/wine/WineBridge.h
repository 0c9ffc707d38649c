// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The bridge: a Linux reader library whose six functions are served by the
// maker's Windows library, loaded into the reader host (a 32-bit Windows
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
// is explained by one line on standard error: a missing Wine, 32-bit Wine
// support, host, DLL or function once per kind; a host that crashes, ends or
// misses its deadline every time. Such a host is killed and reaped, and the
// next call starts a new one, which reopens the port if the tool had it open.

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "BridgeProtocol.h"
#include "HostProcess.h"

namespace kv::wine {

// Status codes of calls that never got an answer from the maker's library.
inline constexpr std::int16_t kNotLoaded = -1;     // the DLL or the function could not be loaded
inline constexpr std::int16_t kHostFailed = -2;    // the host crashed, ended or missed the deadline
inline constexpr std::int16_t kNoHost = -3;        // Wine or the host could not be started
inline constexpr std::int16_t kInternalError = -4; // an exception inside the bridge

inline constexpr const char *kDefaultLibrary = "Veltronanew125K.dll";
inline constexpr const char *kHostFileName = "kv718st-reader-host.exe";
inline constexpr const char *kHost64FileName = "kv718st-reader-host64.exe";
inline constexpr std::chrono::seconds kDefaultCallTimeout{10};
// The host's start on an existing prefix, up to its answer to the hello.
inline constexpr std::chrono::seconds kStartTimeout{60};
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

class WineBridge
{
public:
    WineBridge() = default;
    WineBridge(const WineBridge &) = delete;
    WineBridge &operator=(const WineBridge &) = delete;

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud);
    std::int16_t closePort();
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux);
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux);
    std::int16_t light(std::int32_t icdev, std::uint8_t code);
    std::int16_t beep(std::int32_t icdev, std::uint8_t value);

private:
    struct OpenPort
    {
        std::int32_t icdev, port, baud;
    };

    // Sends the call and takes the answer into `reply`; the status for the
    // caller.
    std::int16_t forward(const kv::bridge::Call &call, kv::bridge::CallReply &reply);
    // Sends the whole buffer (the card's or the version's) and the aux
    // variable with the call, and copies both back from the reply.
    template<typename Aux>
    std::int16_t forwardWithBuffer(kv::bridge::Call call, std::uint8_t *buffer, Aux *aux);
    std::int16_t exchange(const kv::bridge::Call &call, kv::bridge::CallReply &reply,
                          Clock::time_point deadline, bool &failed);
    bool startHost(std::int16_t &status);
    bool makePrefix();
    void reportOnce(const std::string &kind, const std::string &line);
    static void report(const std::string &line);

    std::mutex m_mutex; // calls are served one at a time
    HostProcess m_host;
    Settings m_settings;
    bool m_hostFailedBefore = false;
    std::optional<OpenPort> m_openPort; // what to reopen after a new start
    std::set<std::string> m_reported;
};

WineBridge &sharedBridge();

} // namespace kv::wine
