// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>

#include "Reader.h"

namespace kv {

// A reader whose six functions are those of a loaded library. Each function
// is looked up by its exported name at its own first call (lookUp()) and the
// address is reused by every later call. A function that cannot be found
// fails its call with kFunctionMissing, and is looked up again at the next
// one. Used by the program's binding to the library and by the reader host.
class LibraryFunctions : public Reader
{
public:
    // Status of a call whose function could not be found.
    static constexpr std::int16_t kFunctionMissing = -1;

#define KV_CALL_LIBRARY_FUNCTION(id, name, method, parameters, arguments)                                             \
    std::int16_t method parameters override                                                                            \
    {                                                                                                                  \
        return call<decltype(&::name)>(ReaderFunction::id, [&](auto *function) { return function arguments; });       \
    }
    KV_READER_FUNCTIONS(KV_CALL_LIBRARY_FUNCTION)
#undef KV_CALL_LIBRARY_FUNCTION

protected:
    // The address of `function` in the library, or null when the library or
    // the function cannot be had (the implementation says why where it must).
    virtual void *lookUp(ReaderFunction function) = 0;

private:
    template<typename Function, typename Call>
    std::int16_t call(ReaderFunction function, Call invoke)
    {
        void *&address = m_addresses[static_cast<std::size_t>(function)];
        if (!address)
            address = lookUp(function);
        return address ? invoke(reinterpret_cast<Function>(address)) : kFunctionMissing;
    }

    std::array<void *, kReaderFunctionCount> m_addresses{};
};

} // namespace kv
