// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include <QString>

namespace kv {

class Reader;
struct Module;

// The reader's version as the window and the console program read it.
struct ReaderVersion
{
    std::int16_t status = 0; // the library's status; 0 is success
    QString text;            // four hexadecimal digits; empty after a failed read

    bool ok() const { return status == 0; }
};

// Reads the version into a fresh zero-filled 101-byte buffer, keeps the
// status in lastStatus and, on success, renders the buffer's first two bytes
// in hexadecimal (0x01 0x23 gives "0123").
ReaderVersion readVersion(Reader &reader, Module &module);

} // namespace kv
