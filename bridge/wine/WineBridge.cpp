// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "WineBridge.h"

#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <pwd.h>
#include <unistd.h>

extern char **environ;

namespace kv::bridge {

namespace fs = std::filesystem;

namespace {

std::string variable(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

bool executable(const fs::path &path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// `name` as a path when it holds a '/', else the first match on PATH.
std::string findProgram(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return executable(name) ? fs::absolute(name).lexically_normal().string() : std::string();
    const std::string path = variable("PATH");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::string folder = end == start ? std::string(".") : path.substr(start, end - start);
        if (const fs::path candidate = fs::path(folder) / name; executable(candidate))
            return fs::absolute(candidate).lexically_normal().string();
        start = end + 1;
    }
    return {};
}

std::string homeFolder()
{
    if (const std::string home = variable("HOME"); !home.empty())
        return home;
    const passwd *entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

std::string defaultPrefix()
{
    std::string data = variable("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/')
        data = homeFolder() + "/.local/share";
    return data + "/kv718st-demo/wine";
}

std::chrono::milliseconds callTimeout()
{
    const std::string text = variable("KV718ST_WINE_TIMEOUT");
    if (text.empty())
        return kDefaultCallTimeout;
    char *end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400) {
        std::cerr << "wine bridge: KV718ST_WINE_TIMEOUT='" << text << "' is not a number of seconds; using "
                  << kDefaultCallTimeout.count() << " s\n";
        return kDefaultCallTimeout;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

// The host's environment: the tool's own, with the Wine settings the bridge
// needs. A preloaded library of the tool is not passed on: it was built for
// the tool, not for Wine's loader.
std::vector<std::string> hostEnvironment(const std::string &prefix)
{
    std::vector<std::string> result;
    bool debugSet = false;
    std::string overrides = "mscoree,mshtml=";
    for (char **item = environ; item && *item; ++item) {
        const std::string entry = *item;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "LD_PRELOAD" || name == "WINEPREFIX")
            continue;
        if (name == "WINEDLLOVERRIDES") {
            if (const std::string value = entry.substr(name.size() + 1); !value.empty())
                overrides += ";" + value;
            continue;
        }
        debugSet = debugSet || name == "WINEDEBUG";
        result.push_back(entry);
    }
    result.push_back("WINEPREFIX=" + prefix);
    result.push_back("WINEDLLOVERRIDES=" + overrides);
    if (!debugSet)
        result.push_back("WINEDEBUG=-all");
    return result;
}

// Debian installs 32-bit Wine (package wine32 of architecture i386) beside
// the 64-bit one; without it the wrapper /usr/bin/wine cannot run the host.
bool debianWithout32Bit(const std::string &wine)
{
    std::error_code error;
    return fs::canonical(wine, error) == "/usr/bin/wine" && fs::exists("/usr/lib/wine/wine64", error) &&
           !executable("/usr/lib/wine/wine");
}

constexpr const char *kAdd32Bit =
    "add 32-bit Wine (Debian: dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386)";

// The way around a Wine that runs no 32-bit program: a 64-bit DLL, served by
// the 64-bit host; for a demonstration the 64-bit simulated reader shipped
// beside the bridge.
std::string sixtyFourBitWayOut(const std::string &bridgeFolder)
{
    std::string text = std::string("use a 64-bit DLL (KV718ST_WINDOWS_LIBRARY), which runs in ") + kHost64FileName;
    std::error_code error;
    if (const fs::path simulated = fs::path(bridgeFolder) / "simulated64" / kDefaultLibrary;
        fs::exists(simulated, error))
        text += ", such as the 64-bit simulated reader " + simulated.lexically_normal().string();
    return text;
}

} // namespace

int windowsBinaryBits(const std::string &path)
{
    // MZ header; at 0x3C the offset of "PE\0\0", then the 16-bit machine type.
    std::ifstream file(path, std::ios::binary);
    const auto readAt = [&file](std::streamoff offset, std::size_t size) {
        std::vector<unsigned char> bytes(size);
        file.seekg(offset);
        file.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size));
        return file ? bytes : std::vector<unsigned char>();
    };
    const std::vector<unsigned char> dos = readAt(0, 0x40);
    if (dos.size() != 0x40 || dos[0] != 'M' || dos[1] != 'Z')
        return 0;
    const std::streamoff pe = dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | dos[0x3F] << 24;
    const std::vector<unsigned char> header = readAt(pe, 6);
    if (header.size() != 6 || header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0)
        return 0;
    switch (header[4] | header[5] << 8) {
    case 0x014C: // IMAGE_FILE_MACHINE_I386
        return 32;
    case 0x8664: // IMAGE_FILE_MACHINE_AMD64
        return 64;
    default:
        return 0;
    }
}

Settings settingsFromEnvironment(const std::string &bridgeFolder)
{
    Settings settings;
    settings.library = variable("KV718ST_WINDOWS_LIBRARY");
    if (settings.library.empty())
        settings.library = kDefaultLibrary;
    else if (settings.library.find('/') != std::string::npos)
        settings.library = fs::absolute(settings.library).lexically_normal().string();
    settings.hostBits = settings.library.find('/') != std::string::npos && windowsBinaryBits(settings.library) == 64
                            ? 64
                            : 32;
    settings.host = (fs::path(bridgeFolder) / (settings.hostBits == 64 ? kHost64FileName : kHostFileName)).string();
    settings.wineWanted = variable("KV718ST_WINE");
    if (!settings.wineWanted.empty()) {
        settings.wine = findProgram(settings.wineWanted);
    } else {
        // Debian's wrapper `wine` runs everything through 32-bit Wine when
        // that is installed; a 64-bit program is better started by wine64.
        settings.wineWanted = "wine";
        if (settings.hostBits == 64) {
            settings.wine = findProgram("wine64");
            if (settings.wine.empty() && executable("/usr/lib/wine/wine64"))
                settings.wine = "/usr/lib/wine/wine64";
        }
        if (settings.wine.empty())
            settings.wine = findProgram("wine");
    }
    settings.prefix = variable("WINEPREFIX");
    if (settings.prefix.empty())
        settings.prefix = defaultPrefix();
    settings.callTimeout = callTimeout();
    settings.environment = hostEnvironment(settings.prefix);
    return settings;
}

bool WineBridge::startHost(std::int16_t &status)
{
    Dl_info info{};
    // The host sits beside this library.
    dladdr(reinterpret_cast<void *>(&sharedBridge), &info);
    const std::string folder = info.dli_fname ? fs::path(info.dli_fname).parent_path().string() : ".";
    m_settings = settingsFromEnvironment(folder);
    status = kNoHost;
    if (m_settings.wine.empty()) {
        reportCause("wine", "Wine not found ('" + m_settings.wineWanted +
                                "'): install it (Debian: apt-get install wine) or name the program in KV718ST_WINE");
        return false;
    }
    std::error_code error;
    // A DLL named by a path that is not there needs no Wine to tell; its
    // width unknown, it would otherwise go to the 32-bit host, which may be
    // what this system cannot run.
    if (m_settings.library.find('/') != std::string::npos && !fs::exists(m_settings.library, error)) {
        status = kNotLoaded;
        reportCause("library", "the DLL " + m_settings.library +
                               " does not exist: name the maker's DLL in KV718ST_WINDOWS_LIBRARY");
        return false;
    }
    if (m_settings.hostBits == 32 && debianWithout32Bit(m_settings.wine)) {
        reportCause("wine32", std::string("Wine cannot run the 32-bit reader host: ") + kAdd32Bit + "; or " +
                                  sixtyFourBitWayOut(folder));
        return false;
    }
    if (!fs::exists(m_settings.host, error)) {
        reportCause("host", "the reader host " + m_settings.host + " is missing: reinstall kv718st-demo-wine");
        return false;
    }
    if (!fs::exists(fs::path(m_settings.prefix) / "system.reg", error) && !makePrefix())
        return false;

    std::string why;
    const Clock::time_point deadline = Clock::now() + kStartTimeout;
    if (!m_host.start(m_settings.wine, {m_settings.host}, m_settings.environment, why)) {
        reportCause("start", "the reader host could not be started: " + why);
        return false;
    }
    if (!greet(m_settings.library, deadline, why)) {
        m_host.stop();
        // A shell that cannot execute Wine's 32-bit loader ends with 126:
        // the kernel runs no 32-bit program (some virtual machines).
        if (m_settings.hostBits == 32 && why == "exit status 126") {
            reportCause("wine32-run", "the system cannot run Wine's 32-bit part, which the 32-bit reader host needs (" +
                                          m_settings.wine + " ended with " + why + "): " +
                                          sixtyFourBitWayOut(folder));
            return false;
        }
        reportCause("start", "the reader host did not start under " + m_settings.wine + ": " + why);
        return false;
    }
    setCallTimeout(m_settings.callTimeout);
    report("reader host started under " + m_settings.wine + " (prefix " + m_settings.prefix + ") for " +
           m_settings.library);
    return true;
}

bool WineBridge::makePrefix()
{
    std::error_code error;
    fs::create_directories(fs::path(m_settings.prefix).parent_path(), error);
    report("creating the Wine prefix " + m_settings.prefix + " (the first start takes a while)");
    std::string why;
    if (!runToEnd(m_settings.wine, {"wineboot", "--init"}, m_settings.environment, Clock::now() + kPrefixTimeout,
                  why)) {
        reportCause("prefix", "the Wine prefix " + m_settings.prefix + " could not be made: " + why);
        return false;
    }
    return true;
}

WineBridge &sharedBridge()
{
    static WineBridge bridge;
    return bridge;
}

} // namespace kv::bridge
