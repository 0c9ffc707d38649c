// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SerialDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <utility>

namespace kv::serial {

namespace {

// The names of the device files in the system's device folder that are
// serial lines: ttyS<k> only where a driver has hardware for it, since the
// kernel makes the first few of them on every PC.
constexpr std::string_view kSerialPrefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
constexpr std::string_view kOnlyWithDriver = "ttyS";

std::optional<struct stat> nodeOf(const std::string &path)
{
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return std::nullopt;
    return node;
}

std::vector<std::string> entriesOf(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *directory = ::opendir(folder.c_str());
    if (!directory)
        return names;
    while (const dirent *entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(directory);
    std::ranges::sort(names);
    return names;
}

bool isDigits(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// A path split into what comes before its trailing number and that number,
// so that ttyS2 sorts before ttyS10. Numbers too long to matter sort last.
std::pair<std::string_view, unsigned long long> splitNumber(std::string_view path)
{
    std::size_t start = path.size();
    while (start > 0 && path[start - 1] >= '0' && path[start - 1] <= '9')
        --start;
    const std::string_view digits = path.substr(start);
    if (digits.empty() || digits.size() > 18)
        return {path, 0};
    return {path.substr(0, start), std::stoull(std::string(digits))};
}

bool isSerialName(std::string_view name, const DeviceFolders &folders)
{
    for (const std::string_view prefix : kSerialPrefixes) {
        if (!name.starts_with(prefix) || !isDigits(name.substr(prefix.size())))
            continue;
        if (prefix != kOnlyWithDriver)
            return true;
        struct stat status {};
        return ::stat((folders.sysTty + '/' + std::string(name) + "/device/driver").c_str(), &status) == 0;
    }
    return false;
}

bool hasPlaceholder(std::string_view pattern)
{
    return devicePath(pattern, kFirstPort) != devicePath(pattern, kFirstPort + 1);
}

struct Found
{
    SerialDevice device;
    struct stat node {};

    Found(std::string path, std::int32_t port, const struct stat &found) : node(found)
    {
        device.path = std::move(path);
        device.port = port;
    }
};

// The devices of the device folder, then those the pattern names that are
// not among them; each with the lowest port number that opens it.
std::vector<Found> findDevices(std::string_view pattern, const DeviceFolders &folders)
{
    std::vector<Found> found;
    for (const std::string &name : entriesOf(folders.dev)) {
        if (!isSerialName(name, folders))
            continue;
        const std::string path = folders.dev + '/' + name;
        if (const std::optional<struct stat> node = nodeOf(path); node && S_ISCHR(node->st_mode))
            found.emplace_back(path, 0, *node);
    }
    const std::int32_t lastPort = hasPlaceholder(pattern) ? kLastPort : kFirstPort;
    for (std::int32_t port = kFirstPort; port <= lastPort; ++port) {
        const std::string path = devicePath(pattern, port);
        const std::optional<struct stat> node = nodeOf(path);
        if (!node || !S_ISCHR(node->st_mode))
            continue;
        const auto same = std::ranges::find_if(found, [&](const Found &each) { return sameDevice(each.node, *node); });
        if (same == found.end())
            found.emplace_back(path, port, *node);
        else if (same->device.port == 0)
            same->device.port = port;
    }
    return found;
}

} // namespace

std::string devicePattern()
{
    const char *value = std::getenv(kDeviceVariable);
    return value && *value ? std::string(value) : std::string(kDefaultDevicePattern);
}

std::string devicePath(std::string_view pattern, std::int32_t port)
{
    const std::pair<std::string_view, std::int64_t> placeholders[] = {{"{n-1}", std::int64_t{port} - 1},
                                                                      {"{n}", port}};
    std::string path;
    std::size_t at = 0;
    while (at < pattern.size()) {
        bool replaced = false;
        for (const auto &[placeholder, value] : placeholders) {
            if (pattern.substr(at, placeholder.size()) == placeholder) {
                path += std::to_string(value);
                at += placeholder.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            path += pattern[at++];
    }
    return path;
}

std::vector<SerialDevice> serialDevices(std::string_view pattern, const DeviceFolders &folders)
{
    std::vector<Found> found = findDevices(pattern, folders);
    for (const std::string &name : entriesOf(folders.byId)) {
        const std::optional<struct stat> node = nodeOf(folders.byId + '/' + name);
        for (Found &each : found)
            if (node && each.device.byId.empty() && sameDevice(each.node, *node))
                each.device.byId = name;
    }
    std::vector<SerialDevice> devices;
    for (Found &each : found) {
        each.device.group = groupName(each.node.st_gid);
        each.device.accessible = ::faccessat(AT_FDCWD, each.device.path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
        devices.push_back(std::move(each.device));
    }
    std::ranges::sort(devices, [](const SerialDevice &a, const SerialDevice &b) {
        // No port number sorts after every port number.
        const auto key = [](const SerialDevice &d) {
            return std::tuple(d.port == 0 ? kLastPort + 1 : d.port, splitNumber(d.path), d.path);
        };
        return key(a) < key(b);
    });
    return devices;
}

std::string missingDeviceAdvice(std::string_view pattern, const DeviceFolders &folders)
{
    const std::vector<SerialDevice> devices = serialDevices(pattern, folders);
    if (devices.empty())
        return "no serial device is present: plug the adapter in";
    std::string present;
    for (const SerialDevice &device : devices)
        present += (present.empty() ? "" : ", ") + device.path + " (" +
                   (device.port ? "port " + std::to_string(device.port) : std::string("no port number")) + ")";
    if (devices.front().port != 0)
        return "present: " + present + ": plug the adapter in, or choose the port of a present device";

    // None has a port number: a value of the variable that gives the first
    // one a number, by its stable name where it has one.
    const SerialDevice &first = devices.front();
    std::string hint;
    if (!first.byId.empty()) {
        hint = std::string(kDeviceVariable) + '=' + folders.byId + '/' + first.byId + " opens " + first.path +
               " whatever the port number";
    } else if (const auto [stem, number] = splitNumber(first.path);
               stem.size() < first.path.size() && number + 1 <= kLastPort) {
        hint = std::string(kDeviceVariable) + '=' + std::string(stem) + "{n-1} makes " + first.path + " port " +
               std::to_string(number + 1);
    }
    return "present: " + present + ": plug the adapter in" +
           (hint.empty() ? std::string() : ", or give a present device a port number: " + hint);
}

bool sameDevice(const struct stat &a, const struct stat &b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string groupName(unsigned gid)
{
    std::vector<char> buffer(4096);
    group entry{};
    group *result = nullptr;
    while (::getgrgid_r(static_cast<gid_t>(gid), &entry, buffer.data(), buffer.size(), &result) == ERANGE &&
           buffer.size() < (1U << 20))
        buffer.resize(buffer.size() * 2);
    return result ? std::string(result->gr_name) : std::to_string(gid);
}

} // namespace kv::serial
