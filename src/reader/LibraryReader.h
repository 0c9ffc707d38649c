// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "LibraryFunctions.h"
#include "Reader.h"

namespace kv {

// The run-time binding to the maker's reader library.
//
// Nothing is loaded when the tool starts. At the first call of any function
// the binding is chosen, once: the library, loaded by its bare file name so
// that the platform loader's search order applies, each function looked up at
// its own first call and reused afterwards; or, on Windows, for a library
// that a 64-bit program cannot load because it is a 32-bit one
// (ERROR_BAD_EXE_FORMAT), the 32-bit reader host beside the program, which
// serves the same six functions (the operator sees one line on standard error
// and no other difference). A call whose library or function cannot be found
// fails with kMissingStatus. The first such miss is reported through the miss
// notifier (the window shows it to the operator); later misses write one line
// each to standard error.
//
// A library may say why its calls fail: where it offers the optional entry
// point kv718st_take_problem (the project's Wine bridge and serial-module
// reader do; the maker's library has only the six functions and needs nothing
// of it), every failed call collects the causes the library has not told yet
// and hands each to the problem notifier, once per cause, as the library
// keeps them. Where it offers kv718st_take_link_event, every call hands the
// changes of the link to the reader (lost, back) to the link notifier.
class LibraryReader final : public Reader
{
public:
    // What could not be found, and the loader's own explanation.
    struct Miss
    {
        QString what;
        QString reason;
    };
    using MissNotifier = std::function<void(const Miss &)>;
    // A cause of failed calls the library reported, in its own words.
    using ProblemNotifier = std::function<void(const QString &)>;
    // The link to the reader was lost (`up` false) or is back, in the
    // library's words.
    using LinkNotifier = std::function<void(bool up, const QString &)>;

    // Status returned by a call that never reached the library.
    static constexpr std::int16_t kMissingStatus = LibraryFunctions::kFunctionMissing;

    explicit LibraryReader(QString fileName = QStringLiteral(RF_LIBRARY_NAME));
    ~LibraryReader() override;

    void setMissNotifier(MissNotifier notifier) { m_notifier = std::move(notifier); }
    void setProblemNotifier(ProblemNotifier notifier) { m_problemNotifier = std::move(notifier); }
    void setLinkNotifier(LinkNotifier notifier) { m_linkNotifier = std::move(notifier); }
    // Where the library was loaded from (or the host that serves it); empty
    // before the first call loaded it.
    const QString &loadedFrom() const { return m_loadedFrom; }

#define KV_READER_OVERRIDE(id, name, method, parameters, arguments) std::int16_t method parameters override;
    KV_READER_FUNCTIONS(KV_READER_OVERRIDE)
#undef KV_READER_OVERRIDE

private:
    class LoadedLibrary;

    // The library or the host that serves it, chosen at the first call that
    // finds either; null while neither can be had.
    Reader *binding();
    // Passes `status` on; first hands the library's link events to the link
    // notifier and, after a failure, its untold causes to the problem
    // notifier.
    std::int16_t checked(std::int16_t status);
    void reportMiss(const Miss &miss);

    QString m_fileName;
    std::unique_ptr<Reader> m_binding;
    bool m_missReported = false;
    MissNotifier m_notifier;
    ProblemNotifier m_problemNotifier;
    LinkNotifier m_linkNotifier;
    QString m_loadedFrom;
};

} // namespace kv
