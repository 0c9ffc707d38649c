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
#include "LibraryFunctions.h"

namespace {

using namespace kv::bridge;
using kv::bridge::utf8;
using kv::bridge::wide;

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

// The bytes of arguments a 32-bit __stdcall function pops, the N of its
// decorated name name@N: four for each argument, as every argument of the six
// takes four bytes there.
template<typename... Arguments>
constexpr unsigned stdcallArgumentBytes(std::int16_t (kv::Reader::*)(Arguments...))
{
    return 4 * sizeof...(Arguments);
}

constexpr std::array kStdcallArgumentBytes = {
#define KV_ARGUMENT_BYTES(id, name, method, parameters, arguments) stdcallArgumentBytes(&kv::Reader::method),
    KV_READER_FUNCTIONS(KV_ARGUMENT_BYTES)
#undef KV_ARGUMENT_BYTES
};

// The maker's library, loaded at the first call (and tried again at every
// call until it loads), each function looked up at its own first call. What
// could not be loaded is kept for the reply of the call that needed it.
class Library final : public kv::LibraryFunctions
{
public:
    explicit Library(std::string name) : m_name(std::move(name)) {}

    // Serves one call; a library or function that could not be loaded makes
    // the reply say so.
    CallReply serve(Call &call)
    {
        m_outcome = Outcome::Returned;
        m_why.clear();
        CallReply reply = answer(*this, call);
        reply.outcome = m_outcome;
        reply.text = m_why;
        return reply;
    }

private:
    void *lookUp(kv::ReaderFunction which) override
    {
        if (!load()) {
            m_outcome = Outcome::LibraryMissing;
            return nullptr;
        }
        // The plain name first, then the two decorations of __stdcall.
        const std::string name(kv::readerFunctionName(which));
        const std::string bytes = std::to_string(kStdcallArgumentBytes[static_cast<std::size_t>(which)]);
        for (const std::string &candidate : {name, "_" + name + "@" + bytes, name + "@" + bytes})
            if (const FARPROC address = GetProcAddress(m_handle, candidate.c_str()))
                return reinterpret_cast<void *>(address);
        m_outcome = Outcome::FunctionMissing;
        m_why = name + " not found in " + m_loadedFrom + ": " + windowsError(GetLastError());
        return nullptr;
    }

    bool load()
    {
        if (m_handle)
            return true;
        const std::wstring path = libraryPath(m_name);
        m_handle = LoadLibraryW(path.c_str());
        if (!m_handle) {
            m_why = utf8(path) + " could not be loaded: " + windowsError(GetLastError());
            // Windows' texts name the file as %1.
            if (const std::size_t at = m_why.find("%1", utf8(path).size()); at != std::string::npos)
                m_why.replace(at, 2, "the file");
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
    Outcome m_outcome = Outcome::Returned;
    std::string m_why;
};

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
        if (!channel.write(encode(library.serve(*call), call->function)))
            return 0;
    }
    return 0;
}
