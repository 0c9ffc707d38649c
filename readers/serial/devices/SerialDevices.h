// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Which device file a port number means to the serial-module reader, and the
// serial devices present with the port numbers that rule gives them. The
// reader opens devices by this rule and names the present ones when a port
// has none; kv718st-cli lists them (its `ports` command). Plain C++ and POSIX
// file calls.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::serial {

// The environment variable that maps port numbers to device files, read at
// every open. Its value is a path in which "{n}" stands for the port number N
// and "{n-1}" for N-1; a path without either is used for every port. Unset or
// empty, kDefaultDevicePattern applies: port 1 is /dev/ttyUSB0, port 2
// /dev/ttyUSB1, and so on.
inline constexpr const char *kDeviceVariable = "KV718ST_SERIAL_DEVICE";
inline constexpr std::string_view kDefaultDevicePattern = "/dev/ttyUSB{n-1}";
// The port numbers the tool takes: its port field and --port.
inline constexpr std::int32_t kFirstPort = 1;
inline constexpr std::int32_t kLastPort = 255;

// The pattern in effect now: the variable's value, or the default.
std::string devicePattern();

// The device file of port `port` (1 or more) under `pattern`.
std::string devicePath(std::string_view pattern, std::int32_t port);

// Where devices are looked for. The defaults are the system's; tests name a
// folder of their own.
struct DeviceFolders
{
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty"; // a ttyS<k> with <k>/device/driver here has hardware behind it
    std::string byId = "/dev/serial/by-id";
};

struct SerialDevice
{
    std::string path;        // the device file: /dev/ttyUSB0, or the path the pattern names for it
    std::int32_t port = 0;   // the lowest port number that opens it; 0: none from kFirstPort to kLastPort
    std::string byId;        // its stable name in DeviceFolders::byId; empty: none
    std::string group;       // the group that owns it, by name (by number where the group has no name)
    bool accessible = false; // this user may open it for reading and writing
};

// The serial devices present: ttyUSB<k> and ttyACM<k>, ttyS<k> that have a
// driver, and the character devices the pattern names for a port number
// (/dev/ttyAMA0, a symbolic link, ...). Two paths of one device are one
// entry. Those with a port number come first, by port number; then the
// others by name, ttyS2 before ttyS10.
std::vector<SerialDevice> serialDevices(std::string_view pattern, const DeviceFolders &folders = {});

// What the operator can do when the device of a port does not exist: the
// devices present with their port numbers, and a pattern that gives one of
// them a number when none has one; or that no serial device is present. One
// line, to follow "no such device".
std::string missingDeviceAdvice(std::string_view pattern, const DeviceFolders &folders = {});

// Whether two files found by stat() are one device: a character device by its
// device number, whatever node or link reaches it; anything else by its inode.
bool sameDevice(const struct stat &a, const struct stat &b);

// The name of group `gid`, or its number where it has none.
std::string groupName(unsigned gid);

} // namespace kv::serial
