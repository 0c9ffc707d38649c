// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ReaderApi.h"

namespace kv {

// What the tool needs of a reader: the six library functions, one method
// each, with the library's own names for the arguments and its own argument
// order (the list in ReaderApi.h). Every reader implements it: the program's
// run-time binding to the library, the project's own reader libraries, the
// reader host's clients and the tests' fakes.
class Reader
{
public:
    Reader() = default;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    virtual ~Reader() = default;

#define KV_READER_METHOD(id, name, method, parameters, arguments) virtual std::int16_t method parameters = 0;
    KV_READER_FUNCTIONS(KV_READER_METHOD)
#undef KV_READER_METHOD

    // Why calls fail, and when the link to the reader was lost or is back,
    // where the reader can say (kv718st_take_problem and
    // kv718st_take_link_event in ReaderApi.h): the oldest one not taken yet,
    // or null. A reader that has nothing to say keeps these defaults.
    virtual const char *takeProblem() { return nullptr; }
    virtual const char *takeLinkEvent(bool &up)
    {
        (void)up;
        return nullptr;
    }
};

} // namespace kv
