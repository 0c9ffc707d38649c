// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

namespace kv {

// The project's own reader libraries (simulated, serial, wine), each in a
// folder of its own: installed relative to the programs, or in the build tree
// while they run from there. The programs never find them by themselves (the
// loader does not search those folders); they only point at them.

// The folder of the project's reader `name` that holds its library: the
// installed one when it has the library, else the build tree's; empty when
// neither has it.
QString projectReaderFolder(const QString &name);

// Where the library of the project's reader `name` is: in its folder, or
// where the installation would put it when there is none, so that a load of
// it fails naming the place it was looked for.
QString projectReaderLibrary(const QString &name);

// What the operator is told when the reader library, or one of its
// functions, cannot be found: what is missing, the loader's reason, how to
// install the maker's library, and the simulated reader's folder for a
// demonstration when it is there. The window shows it in a message box, the
// console program on standard error.
QString libraryMissingText(const QString &what, const QString &reason);

} // namespace kv
