// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "OpenRefusal.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "SerialDevices.h"

namespace kv::serial {

namespace {

bool isNumber(const std::string &text)
{
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> numberedEntries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *directory = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(directory))
            if (isNumber(entry->d_name))
                names.emplace_back(entry->d_name);
        ::closedir(directory);
    }
    return names;
}

// The PIDs that hold a lock on the file: every lock on the system is listed
// as "1: FLOCK  ADVISORY  WRITE 1234 08:02:131 0 EOF", the file as the major
// and minor number of its file system in hexadecimal and its inode. Waiters
// ("1: -> FLOCK ...") hold nothing.
std::vector<pid_t> lockHolders(const struct stat &file)
{
    std::vector<pid_t> holders;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, type, mode, access, fileId;
        long pid = 0;
        if (!(fields >> number >> type) || type == "->" || !(fields >> mode >> access >> pid >> fileId) || pid <= 0)
            continue;
        unsigned fsMajor = 0;
        unsigned fsMinor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(fileId.c_str(), "%x:%x:%llu", &fsMajor, &fsMinor, &inode) == 3 &&
            fsMajor == major(file.st_dev) && fsMinor == minor(file.st_dev) && inode == file.st_ino)
            holders.push_back(static_cast<pid_t>(pid));
    }
    return holders;
}

// The PIDs with a descriptor on the device, among the processes whose
// descriptors this user may look at.
std::vector<pid_t> openers(const struct stat &device)
{
    std::vector<pid_t> found;
    for (const std::string &pid : numberedEntries("/proc")) {
        const std::string folder = "/proc/" + pid + "/fd";
        for (const std::string &fd : numberedEntries(folder)) {
            struct stat target {};
            if (::stat((folder + '/' + fd).c_str(), &target) == 0 && sameDevice(target, device)) {
                found.push_back(static_cast<pid_t>(std::stol(pid)));
                break;
            }
        }
    }
    return found;
}

// "minicom (PID 1234)"; the PID alone where the name cannot be read.
std::string processText(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    const std::string self = pid == ::getpid() ? ", this program" : "";
    return name.empty() ? "PID " + std::to_string(pid) + self : name + " (PID " + std::to_string(pid) + self + ")";
}

struct User
{
    std::string name;
    gid_t group = 0;
    bool known = false;
};

User effectiveUser()
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *result = nullptr;
    const uid_t uid = ::geteuid();
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) != 0 || !result)
        return {std::to_string(uid), ::getegid(), false};
    return {result->pw_name, result->pw_gid, true};
}

// Whether the running process has the group, as its effective or a
// supplementary group.
bool processHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(static_cast<int>(groups.size()), groups.data());
    return got > 0 && std::ranges::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the group database puts the user into the group: then only a new
// login is missing.
bool userHasGroup(const User &user, gid_t gid)
{
    if (!user.known)
        return false;
    int count = 64;
    std::vector<gid_t> groups;
    for (int attempt = 0; attempt < 4; ++attempt) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user.name.c_str(), user.group, groups.data(), &count) >= 0) {
            groups.resize(static_cast<std::size_t>(count));
            return std::ranges::find(groups, gid) != groups.end();
        }
    }
    return false;
}

std::string octal(mode_t mode)
{
    char text[8] = {};
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

} // namespace

std::string busyAdvice(const std::string &path)
{
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0)
        return "another program has it open";
    std::vector<pid_t> holders = lockHolders(device);
    for (const pid_t pid : openers(device))
        if (std::ranges::find(holders, pid) == holders.end())
            holders.push_back(pid);
    if (holders.empty())
        return "another program has it open, one this user cannot see (as root, 'fuser -v " + path +
               "' names it): end that program, or choose another port";
    std::ranges::sort(holders);
    std::string names;
    for (std::size_t i = 0; i < holders.size(); ++i)
        names += (i == 0 ? "" : i + 1 == holders.size() ? " and " : ", ") + processText(holders[i]);
    return names + (holders.size() == 1 ? " has it open: end that program" : " have it open: end those programs") +
           ", or choose another port";
}

std::string permissionAdvice(const std::string &path)
{
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0)
        return "a folder on the way to it is closed to this user";
    const std::string group = groupName(device.st_gid);
    const User user = effectiveUser();
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if ((device.st_mode & kGroupReadWrite) != kGroupReadWrite)
        return "its mode " + octal(device.st_mode) + " lets its group " + group +
               " not read and write it: the administrator must give it a group that may (a udev rule with "
               "MODE=\"0660\"), and the user must be in that group";
    if (processHasGroup(device.st_gid))
        return "the user " + user.name + " is in its group " + group +
               ", yet its access control list or a security module refuses";
    if (userHasGroup(user, device.st_gid))
        return "the user " + user.name + " is in the group " + group +
               " that owns it, but this login began before that: log out and in again (a new login is needed)";
    return "it belongs to the group " + group + ": add the user to it with 'sudo usermod -aG " + group + ' ' +
           user.name + "', then log out and in again (a new login is needed)";
}

} // namespace kv::serial
