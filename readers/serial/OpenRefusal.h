// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// What the operator can do about an open the system refused, found out from
// the system at the time of the refusal.

#include <string>

namespace kv::serial {

// A device that is busy: the programs that have it, by name and PID, where
// the system says. /proc/locks lists the holders of locks on it, every
// user's; /proc/<pid>/fd the programs that have it open, of those this user
// may look into. The text follows "busy: ".
std::string busyAdvice(const std::string &path);

// A device this user may not open: the group that owns it and the command
// that puts the user into it, or what else keeps the user out. The text
// follows "permission denied: ".
std::string permissionAdvice(const std::string &path);

} // namespace kv::serial
