// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The contract with the reader library: its six functions, listed once for
// the whole project. Every part that needs them expands the list below: the
// C declarations here, the C++ interface kv::Reader (Reader.h), the exported
// functions of the project's own reader libraries (EntryPoints.h), the
// program's run-time binding and the reader host's protocol.
//
// Every function returns a 16-bit signed status: 0 is success, anything else
// a failure. The first argument of every device function is the device
// address; the tool always passes 0.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(_WIN32)
#define RF_CALL __stdcall
#else
#define RF_CALL
#endif

#if defined(KV_READER_LIBRARY_BUILD)
#if defined(_WIN32)
#define RF_EXPORT __declspec(dllexport)
#else
#define RF_EXPORT __attribute__((visibility("default")))
#endif
#else
#define RF_EXPORT
#endif

// X(id, exported name, method of kv::Reader, parameters, the parameters passed on)
//
//   rf_init_com_125K   opens the serial port `port` at `baud` bits per second
//   rf_ClosePort_125K  closes the port rf_init_com_125K opened
//   rf_request_125K    reads the card on the antenna in output format `format`
//                      (0 to 10); on success the reply bytes stand from
//                      buffer[0] on. `aux` is a second output the tool never
//                      reads
//   rf_get_model_125K  reads the reader's version into buffer[0] and buffer[1];
//                      `aux` is never read
//   rf_light_125K      switches an indicator: 0 LED1 off, 1 LED1 on, 2 LED2 off,
//                      3 LED2 on
//   rf_beep_125K       sounds the buzzer; the unit of `value` is the library's
#define KV_READER_FUNCTIONS(X)                                                                                         \
    X(InitCom, rf_init_com_125K, initCom, (std::int32_t icdev, std::int32_t port, std::int32_t baud),                  \
      (icdev, port, baud))                                                                                             \
    X(ClosePort, rf_ClosePort_125K, closePort, (), ())                                                                 \
    X(Request, rf_request_125K, request,                                                                               \
      (std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux), (icdev, format, buffer, aux)) \
    X(GetModel, rf_get_model_125K, getModel, (std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux),            \
      (icdev, buffer, aux))                                                                                            \
    X(Light, rf_light_125K, light, (std::int32_t icdev, std::uint8_t code), (icdev, code))                             \
    X(Beep, rf_beep_125K, beep, (std::int32_t icdev, std::uint8_t value), (icdev, value))

extern "C" {

#define KV_DECLARE_READER_FUNCTION(id, name, method, parameters, arguments)                                           \
    RF_EXPORT std::int16_t RF_CALL name parameters;
KV_READER_FUNCTIONS(KV_DECLARE_READER_FUNCTION)
#undef KV_DECLARE_READER_FUNCTION

// Not the maker's functions: optional extras of the project's own libraries,
// which the binding looks up and uses only where they are there; the maker's
// library has the six above and nothing else.
//
// kv718st_take_problem returns the oldest cause of failed calls that the
// operator has not been shown yet, one UTF-8 line that says what is wrong and
// how to fix it, each cause once per run; null when there is none.
//
// kv718st_take_link_event returns the oldest change of the link to the reader
// not taken yet, one UTF-8 line that says what happened: the reader was lost
// (an adapter pulled out; *up is set to 0) or is back (*up is set to 1). Null
// when there is none; *up is then left alone.
//
// Their texts stay valid until the next call of either.
RF_EXPORT const char *RF_CALL kv718st_take_problem();
RF_EXPORT const char *RF_CALL kv718st_take_link_event(std::int32_t *up);

} // extern "C"

// File name the library is asked for: a bare name, so that the platform's
// loader search order decides which copy is used.
#if defined(_WIN32)
#define RF_LIBRARY_NAME "Veltronanew125K.dll"
#else
#define RF_LIBRARY_NAME "libVeltronanew125K.so"
#endif

namespace kv {

// The six functions by id, in the order of the list; the host protocol sends
// the id as a byte.
enum class ReaderFunction : std::uint8_t {
#define KV_READER_FUNCTION_ID(id, name, method, parameters, arguments) id,
    KV_READER_FUNCTIONS(KV_READER_FUNCTION_ID)
#undef KV_READER_FUNCTION_ID
};

inline constexpr std::array kReaderFunctionNames = {
#define KV_READER_FUNCTION_NAME(id, name, method, parameters, arguments) std::string_view(#name),
    KV_READER_FUNCTIONS(KV_READER_FUNCTION_NAME)
#undef KV_READER_FUNCTION_NAME
};
inline constexpr std::size_t kReaderFunctionCount = kReaderFunctionNames.size();

// The name the library exports the function under.
constexpr std::string_view readerFunctionName(ReaderFunction function)
{
    return kReaderFunctionNames[static_cast<std::size_t>(function)];
}

} // namespace kv
