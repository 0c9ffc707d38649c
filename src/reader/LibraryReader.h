// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QString>

#include "Reader.h"
#include "ReaderApi.h"

namespace kv {

namespace bridge {
class HostClient;
}

// The run-time binding to the maker's reader library.
//
// Nothing is loaded when the tool starts. The library is loaded, by its bare
// file name so that the platform loader's search order applies, at the first
// call of any function; each function is looked up at its own first call and
// the address is reused afterwards. A call whose library or function cannot be
// found fails with a non-zero status. The first such miss is reported through
// the notifier (the window shows it to the operator); later misses write one
// line each to standard error.
//
// A library may say why its calls fail: where it offers the optional entry
// point kv718st_take_problem (the project's Wine bridge does; the maker's
// library has only the six functions and needs nothing of it), every failed
// call collects the causes the library has not told yet and hands each to the
// problem notifier, once per cause, as the library keeps them.
//
// On Windows a library that a 64-bit program cannot load because it is a
// 32-bit one (ERROR_BAD_EXE_FORMAT) is served by the 32-bit reader host
// beside the program instead, through the same six functions; the operator
// sees one line on standard error and no other difference.
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

    // Status returned by a call that never reached the library.
    static constexpr std::int16_t kMissingStatus = -1;

    explicit LibraryReader(QString fileName = QStringLiteral(RF_LIBRARY_NAME));
    ~LibraryReader() override;

    void setMissNotifier(MissNotifier notifier) { m_notifier = std::move(notifier); }
    void setProblemNotifier(ProblemNotifier notifier) { m_problemNotifier = std::move(notifier); }

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

private:
    enum Slot { InitCom, ClosePort, Request, GetModel, Light, Beep, SlotCount };

    template<typename Fn, typename... Args>
    std::int16_t invoke(Slot slot, const char *name, Args... args)
    {
        void *address = resolve(slot, name);
        return address ? checked(reinterpret_cast<Fn>(address)(args...)) : kMissingStatus;
    }
    // Passes `status` on; after a failure first hands the library's untold
    // causes to the problem notifier.
    std::int16_t checked(std::int16_t status);

    void *resolve(Slot slot, const char *name);
    // Loads the library, or starts using the reader host; false when neither.
    bool load();
    bool useReaderHost();
    void reportMiss(const Miss &miss);

    QString m_fileName;
    void *m_handle = nullptr;
    std::array<void *, SlotCount> m_functions{};
    bool m_missReported = false;
    MissNotifier m_notifier;
    ProblemNotifier m_problemNotifier;
    decltype(&kv718st_take_problem) m_takeProblem = nullptr; // where the library has it
    std::unique_ptr<bridge::HostClient> m_host; // serves the calls instead of m_handle
};

} // namespace kv
