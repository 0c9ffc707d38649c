// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LibraryReader.h"

#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "HostClient.h"

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

LibraryReader::LibraryReader(QString fileName) : m_fileName(std::move(fileName)) {}

// The library stays loaded until the process ends: a vendor library may keep
// threads or handlers of its own that must not lose their code.
LibraryReader::~LibraryReader() = default;

bool LibraryReader::load()
{
    if (m_handle || m_host)
        return true;
    m_handle = openLibrary(m_fileName);
    if (!m_handle) {
        if (useReaderHost())
            return true;
        reportMiss({m_fileName, lastLoaderError()});
        return false;
    }
    writeErrorLine(QStringLiteral("reader library loaded from %1").arg(loadedPath(m_handle)));
    m_takeProblem = reinterpret_cast<decltype(&kv718st_take_problem)>(findSymbol(m_handle, "kv718st_take_problem"));
    return true;
}

bool LibraryReader::useReaderHost()
{
#if defined(_WIN32)
    // Only a library of the other width: a missing one stays missing.
    if (GetLastError() != ERROR_BAD_EXE_FORMAT)
        return false;
    const QString host =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/kv718st-reader-host.exe"));
    writeErrorLine(QStringLiteral("%1 is a 32-bit library; the 32-bit reader host %2 serves it").arg(m_fileName, host));
    m_host = std::make_unique<kv::bridge::LocalHostClient>(host.toStdWString(), m_fileName.toStdString());
    return true;
#else
    return false;
#endif
}

void *LibraryReader::resolve(Slot slot, const char *name)
{
    if (m_functions[slot])
        return m_functions[slot];
    if (!load())
        return nullptr;
    m_functions[slot] = findSymbol(m_handle, name);
    if (!m_functions[slot]) {
        const QString reason = lastLoaderError();
        reportMiss({QStringLiteral("%1 (%2)").arg(QString::fromLatin1(name), loadedPath(m_handle)), reason});
    }
    return m_functions[slot];
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
    if (status == 0)
        return status;
    // All of them first: the notifier may show a box whose event loop runs
    // handlers that call the library again.
    const auto take = [this]() -> const char * {
        if (m_host)
            return m_host->takeProblem();
        return m_takeProblem ? m_takeProblem() : nullptr;
    };
    QStringList problems;
    while (const char *text = take())
        problems.append(QString::fromUtf8(text));
    for (const QString &problem : problems) {
        if (m_problemNotifier)
            m_problemNotifier(problem);
        else
            writeErrorLine(QStringLiteral("reader library: %1").arg(problem));
    }
    return status;
}

#define KV_FORWARD(function, slot, ...) invoke<decltype(&function)>(slot, #function, __VA_ARGS__)

std::int16_t LibraryReader::initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->initCom(icdev, port, baud));
    return KV_FORWARD(rf_init_com_125K, InitCom, icdev, port, baud);
}

std::int16_t LibraryReader::closePort()
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->closePort());
    return invoke<decltype(&rf_ClosePort_125K)>(ClosePort, "rf_ClosePort_125K");
}

std::int16_t LibraryReader::request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->request(icdev, format, buffer, aux));
    return KV_FORWARD(rf_request_125K, Request, icdev, format, buffer, aux);
}

std::int16_t LibraryReader::getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->getModel(icdev, buffer, aux));
    return KV_FORWARD(rf_get_model_125K, GetModel, icdev, buffer, aux);
}

std::int16_t LibraryReader::light(std::int32_t icdev, std::uint8_t code)
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->light(icdev, code));
    return KV_FORWARD(rf_light_125K, Light, icdev, code);
}

std::int16_t LibraryReader::beep(std::int32_t icdev, std::uint8_t value)
{
    if (!load())
        return kMissingStatus;
    if (m_host)
        return checked(m_host->beep(icdev, value));
    return KV_FORWARD(rf_beep_125K, Beep, icdev, value);
}

} // namespace kv
