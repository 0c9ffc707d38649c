// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "ReaderVersion.h"

#include <array>

#include "Module.h"
#include "NumericText.h"
#include "Reader.h"

namespace kv {

ReaderVersion readVersion(Reader &reader, Module &module)
{
    std::array<std::uint8_t, 101> reply{};
    std::uint8_t aux = 0;
    ReaderVersion version;
    version.status = module.lastStatus = reader.getModel(0, reply.data(), &aux);
    if (version.ok())
        version.text = hexByte(reply[0]) + hexByte(reply[1]);
    return version;
}

} // namespace kv
