// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// kv718st-reader-host: loads the maker's Windows reader library and serves
// its six functions, one call at a time, over standard input and output in
// the protocol of BridgeProtocol.h. A client that cannot load the library
// into its own process (a Linux program through Wine, a 64-bit Windows
// program and a 32-bit library) starts this program instead.
//
// The protocol keeps the original standard input and output; the process's
// own standard handles and the C runtime's descriptors 0 and 1 are pointed
// elsewhere before the library is loaded, so nothing the library reads or
// prints can touch the stream. Its output goes to standard error.

#include "WindowsText.h"

#include <fcntl.h>
#include <io.h>

#include <array>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BridgeProtocol.h"
#include "ReaderApi.h"

namespace {

using namespace kv::bridge;
using kv::windows::utf8;
using kv::windows::wide;

HANDLE g_errors = INVALID_HANDLE_VALUE; // standard error, for the crash filter too

void writeError(const std::string &line)
{
    const std::string text = "kv718st-reader-host: " + line + "\n";
    DWORD written = 0;
    WriteFile(g_errors, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// "error N: <Windows' own text>"
std::string windowsError(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    std::string result = "error " + std::to_string(code);
    if (!message.empty())
        result += ": " + utf8(message);
    return result;
}

// A Unix path (from a client under Wine) becomes the DOS path Wine maps it
// to; any other name is kept, so a bare name leaves the search to Windows.
std::wstring libraryPath(const std::string &name)
{
    if (name.empty() || name.front() != '/')
        return wide(name);
    using ToDos = wchar_t *(__cdecl *)(const char *);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto proc = kernel ? GetProcAddress(kernel, "wine_get_dos_file_name") : nullptr;
    if (!proc)
        return wide(name);
    const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void (*)()>(proc));
    wchar_t *dos = toDos(name.c_str());
    if (!dos)
        return wide(name);
    std::wstring result(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

LONG WINAPI onCrash(EXCEPTION_POINTERS *info)
{
    char line[160];
    std::snprintf(line, sizeof line, "the reader library crashed: exception 0x%08lX at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    writeError(line);
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

class Channel
{
public:
    Channel(HANDLE in, HANDLE out) : m_in(in), m_out(out) {}

    // A whole frame's payload, or false at the end of the input.
    bool read(std::vector<std::uint8_t> &payload)
    {
        std::array<std::uint8_t, 4> prefix{};
        if (!readExact(prefix.data(), prefix.size()))
            return false;
        const std::uint32_t length = frameLength(prefix);
        if (length == 0 || length > kMaxPayload)
            return false;
        payload.resize(length);
        return readExact(payload.data(), length);
    }

    bool write(const std::vector<std::uint8_t> &payload)
    {
        const std::vector<std::uint8_t> frame = framed(payload);
        return writeExact(frame.data(), frame.size());
    }

private:
    bool readExact(std::uint8_t *data, std::size_t size)
    {
        while (size > 0) {
            DWORD got = 0;
            if (!ReadFile(m_in, data, static_cast<DWORD>(size), &got, nullptr) || got == 0)
                return false;
            data += got;
            size -= got;
        }
        return true;
    }
    bool writeExact(const std::uint8_t *data, std::size_t size)
    {
        while (size > 0) {
            DWORD put = 0;
            if (!WriteFile(m_out, data, static_cast<DWORD>(size), &put, nullptr) || put == 0)
                return false;
            data += put;
            size -= put;
        }
        return true;
    }

    HANDLE m_in;
    HANDLE m_out;
};

// The maker's library, loaded at the first call (and tried again at every
// call until it loads), each function looked up at its own first call.
class Library
{
public:
    explicit Library(std::string name) : m_name(std::move(name)) {}

    // The function's address, or null with `why` set.
    FARPROC function(Function which, Outcome &outcome, std::string &why)
    {
        if (!load(why)) {
            outcome = Outcome::LibraryMissing;
            return nullptr;
        }
        FARPROC &slot = m_functions[static_cast<std::size_t>(which)];
        if (slot)
            return slot;
        // The plain name first, then the two decorations of __stdcall.
        const std::string name = functionName(which);
        const std::string bytes = std::to_string(stdcallArgumentBytes(which));
        for (const std::string &candidate : {name, "_" + name + "@" + bytes, name + "@" + bytes}) {
            slot = GetProcAddress(m_handle, candidate.c_str());
            if (slot)
                return slot;
        }
        outcome = Outcome::FunctionMissing;
        why = name + " not found in " + m_loadedFrom + ": " + windowsError(GetLastError());
        return nullptr;
    }

private:
    bool load(std::string &why)
    {
        if (m_handle)
            return true;
        const std::wstring path = libraryPath(m_name);
        m_handle = LoadLibraryW(path.c_str());
        if (!m_handle) {
            why = utf8(path) + " could not be loaded: " + windowsError(GetLastError());
            // Windows' texts name the file as %1.
            if (const std::size_t at = why.find("%1", utf8(path).size()); at != std::string::npos)
                why.replace(at, 2, "the file");
            return false;
        }
        wchar_t loaded[MAX_PATH] = {};
        GetModuleFileNameW(m_handle, loaded, MAX_PATH);
        m_loadedFrom = utf8(loaded);
        writeError("reader library loaded from " + m_loadedFrom);
        return true;
    }

    std::string m_name;
    HMODULE m_handle = nullptr;
    std::string m_loadedFrom;
    std::array<FARPROC, kFunctionCount> m_functions{};
};

template<typename Fn>
Fn as(FARPROC proc)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

CallReply serve(Library &library, Call &call)
{
    CallReply reply;
    std::string why;
    const FARPROC proc = library.function(call.function, reply.outcome, why);
    if (!proc) {
        reply.status = -1;
        reply.text = why;
        reply.buffer = std::move(call.buffer);
        reply.aux = call.aux;
        return reply;
    }
    std::uint8_t *const buffer = call.present & kBufferPresent ? call.buffer.data() : nullptr;
    const bool aux = call.present & kAuxPresent;
    switch (call.function) {
    case Function::InitCom:
        reply.status = as<decltype(&rf_init_com_125K)>(proc)(call.icdev, call.port, call.baud);
        break;
    case Function::ClosePort:
        reply.status = as<decltype(&rf_ClosePort_125K)>(proc)();
        break;
    case Function::Request: {
        std::int32_t requestAux = call.aux;
        reply.status = as<decltype(&rf_request_125K)>(proc)(call.icdev, call.byteArgument, buffer,
                                                            aux ? &requestAux : nullptr);
        reply.aux = requestAux;
        break;
    }
    case Function::GetModel: {
        auto modelAux = static_cast<std::uint8_t>(call.aux);
        reply.status = as<decltype(&rf_get_model_125K)>(proc)(call.icdev, buffer, aux ? &modelAux : nullptr);
        reply.aux = modelAux;
        break;
    }
    case Function::Light:
        reply.status = as<decltype(&rf_light_125K)>(proc)(call.icdev, call.byteArgument);
        break;
    case Function::Beep:
        reply.status = as<decltype(&rf_beep_125K)>(proc)(call.icdev, call.byteArgument);
        break;
    }
    reply.buffer = std::move(call.buffer);
    return reply;
}

HANDLE duplicate(HANDLE handle)
{
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return INVALID_HANDLE_VALUE;
    return copy;
}

// Keeps private copies of the protocol's handles and points everything the
// library could use for standard input and output away from them.
bool takeStandardHandles(HANDLE &in, HANDLE &out)
{
    in = duplicate(GetStdHandle(STD_INPUT_HANDLE));
    out = duplicate(GetStdHandle(STD_OUTPUT_HANDLE));
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE)
        return false;
    g_errors = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, g_errors);
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   0, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, nul);
    // The C runtime's descriptors were bound at start-up; rebind them too.
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
    const int nulDescriptor = _open("NUL", _O_RDONLY);
    if (nulDescriptor >= 0) {
        _dup2(nulDescriptor, _fileno(stdin));
        _close(nulDescriptor);
    }
    return true;
}

} // namespace

int main()
{
    HANDLE in = INVALID_HANDLE_VALUE;
    HANDLE out = INVALID_HANDLE_VALUE;
    if (!takeStandardHandles(in, out)) {
        std::fprintf(stderr, "kv718st-reader-host: no standard input and output to serve on\n");
        return 2;
    }
    // No dialog may wait for a click that never comes: a missing library or
    // a crash is reported to the client instead.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onCrash);

    Channel channel(in, out);
    std::vector<std::uint8_t> payload;
    if (!channel.read(payload))
        return 0;
    const std::optional<Hello> hello = decodeHello(payload);
    if (!hello || hello->version != kProtocolVersion) {
        writeError("the client speaks another protocol version; ending");
        return 2;
    }
    if (!channel.write(encode(HelloReply{})))
        return 0;

    // An empty name means the maker's DLL, found by Windows' search order.
    Library library(hello->library.empty() ? std::string("Veltronanew125K.dll") : hello->library);
    while (channel.read(payload)) {
        std::optional<Call> call = decodeCall(payload);
        if (!call) {
            writeError("malformed request; ending");
            return 2;
        }
        if (!channel.write(encode(serve(library, *call), call->function)))
            return 0;
    }
    return 0;
}
