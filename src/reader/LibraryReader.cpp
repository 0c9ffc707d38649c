// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LibraryReader.h"

#include <cstdio>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#if defined(_WIN32)
#include <windows.h>

#include "LocalHostClient.h"
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace kv {

namespace {

// Lines start with the name of the program that loads the library (the
// window or the console program).
void writeErrorLine(const QString &line)
{
    QString program = QCoreApplication::applicationName();
    if (program.isEmpty())
        program = QStringLiteral("kv718st-demo");
    std::fprintf(stderr, "%s: %s\n", program.toLocal8Bit().constData(), line.toLocal8Bit().constData());
    std::fflush(stderr);
}

#if defined(_WIN32)
void *openLibrary(const QString &fileName)
{
    return LoadLibraryW(reinterpret_cast<const wchar_t *>(fileName.utf16()));
}
void *findSymbol(void *handle, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
QString lastLoaderError()
{
    const DWORD code = GetLastError();
    return QStringLiteral("Windows error %1: %2").arg(code).arg(qt_error_string(static_cast<int>(code)));
}
QString loadedPath(void *handle)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(static_cast<HMODULE>(handle), path, MAX_PATH);
    return QString::fromWCharArray(path);
}
#else
void *openLibrary(const QString &fileName)
{
    return dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
}
void *findSymbol(void *handle, const char *name)
{
    dlerror();
    return dlsym(handle, name);
}
QString lastLoaderError()
{
    const char *text = dlerror();
    return text ? QString::fromLocal8Bit(text) : QString();
}
QString loadedPath(void *handle)
{
    link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return QString();
    return QFileInfo(QFile::decodeName(map->l_name)).absoluteFilePath();
}
#endif

} // namespace

// The library itself, looked up through the platform's loader. It stays
// loaded until the process ends: a vendor library may keep threads or
// handlers of its own that must not lose their code.
class LibraryReader::LoadedLibrary final : public LibraryFunctions
{
public:
    LoadedLibrary(LibraryReader &owner, void *handle)
        : m_owner(owner),
          m_handle(handle),
          m_takeProblem(reinterpret_cast<decltype(&kv718st_take_problem)>(findSymbol(handle, "kv718st_take_problem"))),
          m_takeLinkEvent(
              reinterpret_cast<decltype(&kv718st_take_link_event)>(findSymbol(handle, "kv718st_take_link_event")))
    {}

    const char *takeProblem() override { return m_takeProblem ? m_takeProblem() : nullptr; }
    const char *takeLinkEvent(bool &up) override
    {
        std::int32_t linkUp = 0;
        const char *text = m_takeLinkEvent ? m_takeLinkEvent(&linkUp) : nullptr;
        up = linkUp != 0;
        return text;
    }

private:
    void *lookUp(ReaderFunction function) override
    {
        const char *const name = readerFunctionName(function).data();
        void *const address = findSymbol(m_handle, name);
        if (!address) {
            const QString reason = lastLoaderError();
            m_owner.reportMiss({QStringLiteral("%1 (%2)").arg(QString::fromLatin1(name), loadedPath(m_handle)), reason});
        }
        return address;
    }

    LibraryReader &m_owner;
    void *m_handle;
    // The optional extras, where the library has them.
    decltype(&kv718st_take_problem) m_takeProblem;
    decltype(&kv718st_take_link_event) m_takeLinkEvent;
};

LibraryReader::LibraryReader(QString fileName) : m_fileName(std::move(fileName)) {}

LibraryReader::~LibraryReader() = default;

Reader *LibraryReader::binding()
{
    if (m_binding)
        return m_binding.get();
    if (void *const handle = openLibrary(m_fileName)) {
        m_loadedFrom = loadedPath(handle);
        writeErrorLine(QStringLiteral("reader library loaded from %1").arg(m_loadedFrom));
        m_binding = std::make_unique<LoadedLibrary>(*this, handle);
        return m_binding.get();
    }
#if defined(_WIN32)
    // A library of the other width is served by the 32-bit reader host beside
    // the program; a missing one stays missing.
    if (GetLastError() == ERROR_BAD_EXE_FORMAT) {
        const QString host = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                                      QStringLiteral("/kv718st-reader-host.exe"));
        writeErrorLine(
            QStringLiteral("%1 is a 32-bit library; the 32-bit reader host %2 serves it").arg(m_fileName, host));
        m_loadedFrom = QStringLiteral("%1 (through %2)").arg(m_fileName, host);
        m_binding = std::make_unique<bridge::LocalHostClient>(host.toStdWString(), m_fileName.toStdString());
        return m_binding.get();
    }
#endif
    reportMiss({m_fileName, lastLoaderError()});
    return nullptr;
}

void LibraryReader::reportMiss(const Miss &miss)
{
    if (!m_missReported && m_notifier) {
        m_missReported = true;
        m_notifier(miss);
        return;
    }
    writeErrorLine(QStringLiteral("reader library call failed: %1 not found: %2").arg(miss.what, miss.reason));
}

std::int16_t LibraryReader::checked(std::int16_t status)
{
    // All of them first: a notifier may show a box whose event loop runs
    // handlers that call the library again.
    std::vector<std::pair<bool, QString>> events;
    bool up = false;
    while (const char *text = m_binding->takeLinkEvent(up))
        events.emplace_back(up, QString::fromUtf8(text));
    for (const auto &[linkUp, event] : events) {
        if (m_linkNotifier)
            m_linkNotifier(linkUp, event);
        else
            writeErrorLine(QStringLiteral("reader library: %1").arg(event));
    }
    if (status == 0)
        return status;
    QStringList problems;
    while (const char *text = m_binding->takeProblem())
        problems.append(QString::fromUtf8(text));
    for (const QString &problem : problems) {
        if (m_problemNotifier)
            m_problemNotifier(problem);
        else
            writeErrorLine(QStringLiteral("reader library: %1").arg(problem));
    }
    return status;
}

#define KV_FORWARD(id, name, method, parameters, arguments)                                                           \
    std::int16_t LibraryReader::method parameters                                                                      \
    {                                                                                                                  \
        Reader *const reader = binding();                                                                              \
        return reader ? checked(reader->method arguments) : kMissingStatus;                                            \
    }
KV_READER_FUNCTIONS(KV_FORWARD)
#undef KV_FORWARD

} // namespace kv
