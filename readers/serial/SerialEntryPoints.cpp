// The six exported functions of the serial reader library. Each forwards to
// the library's one reader; no exception may cross into the caller.

#include "ReaderApi.h"
#include "SerialReader.h"

namespace {

template<typename Call>
std::int16_t guarded(Call call) noexcept
{
    try {
        return call(kv::serial::sharedReader());
    } catch (...) {
        return kv::serial::kInternalError;
    }
}

} // namespace

std::int16_t RF_CALL rf_init_com_125K(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    return guarded([&](kv::serial::SerialReader &reader) { return reader.initCom(icdev, port, baud); });
}

std::int16_t RF_CALL rf_ClosePort_125K()
{
    return guarded([](kv::serial::SerialReader &reader) { return reader.closePort(); });
}

std::int16_t RF_CALL rf_request_125K(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    return guarded([&](kv::serial::SerialReader &reader) { return reader.request(icdev, format, buffer, aux); });
}

std::int16_t RF_CALL rf_get_model_125K(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    return guarded([&](kv::serial::SerialReader &reader) { return reader.getModel(icdev, buffer, aux); });
}

std::int16_t RF_CALL rf_light_125K(std::int32_t icdev, std::uint8_t code)
{
    return guarded([&](kv::serial::SerialReader &reader) { return reader.light(icdev, code); });
}

std::int16_t RF_CALL rf_beep_125K(std::int32_t icdev, std::uint8_t value)
{
    return guarded([&](kv::serial::SerialReader &reader) { return reader.beep(icdev, value); });
}
