// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The six entry points of the reader maker's library, declared once for the
// whole project: the run-time binding takes its function-pointer types from
// here, and the project's own stand-in libraries implement exactly these.
//
// Every function returns a 16-bit signed status: 0 is success, anything else
// a failure. The first argument of every device function is the device
// address; the tool always passes 0.

#include <cstdint>

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

extern "C" {

// Opens the serial port `port` at `baud` bits per second.
RF_EXPORT std::int16_t RF_CALL rf_init_com_125K(std::int32_t icdev, std::int32_t port, std::int32_t baud);

// Closes the port opened by rf_init_com_125K.
RF_EXPORT std::int16_t RF_CALL rf_ClosePort_125K();

// Reads the card on the antenna in output format `format` (0 to 10). On
// success the reply bytes stand from buffer[0] on. `aux` is a second output
// the tool never reads.
RF_EXPORT std::int16_t RF_CALL rf_request_125K(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer,
                                               std::int32_t *aux);

// Reads the reader's version into buffer[0] and buffer[1]. `aux` is never read.
RF_EXPORT std::int16_t RF_CALL rf_get_model_125K(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux);

// Switches an indicator: 0 LED1 off, 1 LED1 on, 2 LED2 off, 3 LED2 on.
RF_EXPORT std::int16_t RF_CALL rf_light_125K(std::int32_t icdev, std::uint8_t code);

// Sounds the buzzer; the unit of `value` is the library's.
RF_EXPORT std::int16_t RF_CALL rf_beep_125K(std::int32_t icdev, std::uint8_t value);

// Not one of the maker's functions: an optional extra of the project's own
// libraries (the Wine bridge), which the binding looks up and uses only where
// it is there; the maker's library has the six above and nothing else.
// Returns the oldest cause of failed calls that the operator has not been
// shown yet, one UTF-8 line that says what is wrong and how to fix it, each
// cause once per run; null when there is none. The text stays valid until the
// next call.
RF_EXPORT const char *RF_CALL kv718st_take_problem();

} // extern "C"

// File name the library is asked for: a bare name, so that the platform's
// loader search order decides which copy is used.
#if defined(_WIN32)
#define RF_LIBRARY_NAME "Veltronanew125K.dll"
#else
#define RF_LIBRARY_NAME "libVeltronanew125K.so"
#endif
