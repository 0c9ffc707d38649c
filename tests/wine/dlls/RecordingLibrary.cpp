// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// A reader library for tests: it records every call with all its arguments
// and every byte of its buffers, one line per call, in the file named by
// KV718ST_RECORD_FILE, and answers in a way the test can predict
// (Recording.h). Built for Windows with the reader host, and for Linux to
// record what the program passes in process.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Reader.h"
#include "Recording.h"

namespace {

using namespace kv::recording;

void record(const std::string &line)
{
    const char *path = std::getenv(kRecordVariable);
    if (!path)
        return;
    if (std::FILE *file = std::fopen(path, "ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

std::int16_t answer(int function, std::int32_t icdev, std::int32_t argument)
{
    return std::getenv(kSucceedVariable) ? 0 : status(function, icdev, argument);
}

std::string aux(const std::int32_t *value)
{
    return value ? std::to_string(*value) : "null";
}

class RecordingReader final : public kv::Reader
{
public:
    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override
    {
        record("rf_init_com_125K icdev=" + std::to_string(icdev) + " port=" + std::to_string(port) +
               " baud=" + std::to_string(baud));
        return answer(0, icdev, port);
    }

    std::int16_t closePort() override
    {
        record("rf_ClosePort_125K");
        return answer(1, 0, 0);
    }

    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *requestAux) override
    {
        constexpr std::size_t kSize = 3001;
        record("rf_request_125K icdev=" + std::to_string(icdev) + " format=" + std::to_string(format) +
               " aux=" + aux(requestAux) + " buffer=" + hex(buffer, kSize));
        if (buffer)
            transform(buffer, kSize, format);
        if (requestAux)
            *requestAux = transformAux(*requestAux);
        return answer(2, icdev, format);
    }

    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *modelAux) override
    {
        constexpr std::size_t kSize = 101;
        const std::int32_t auxValue = modelAux ? *modelAux : 0;
        record("rf_get_model_125K icdev=" + std::to_string(icdev) + " aux=" + (modelAux ? aux(&auxValue) : "null") +
               " buffer=" + hex(buffer, kSize));
        if (buffer)
            transform(buffer, kSize, 0x5A);
        if (modelAux)
            *modelAux = static_cast<std::uint8_t>(transformAux(auxValue));
        return answer(3, icdev, 0);
    }

    std::int16_t light(std::int32_t icdev, std::uint8_t code) override
    {
        record("rf_light_125K icdev=" + std::to_string(icdev) + " code=" + std::to_string(code));
        return answer(4, icdev, code);
    }

    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override
    {
        record("rf_beep_125K icdev=" + std::to_string(icdev) + " value=" + std::to_string(value));
        return answer(5, icdev, value);
    }
};

} // namespace

namespace kv::entry {
kv::Reader &sharedReader()
{
    static RecordingReader reader;
    return reader;
}
constexpr std::int16_t kInternalError = -4;
} // namespace kv::entry

#include "EntryPoints.h"

