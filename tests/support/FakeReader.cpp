// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "FakeReader.h"

#include <cstring>

namespace kv {

const std::array<QString, 5> kStandardText = {
    QStringLiteral("0573785173"), QStringLiteral("1430532898"), QStringLiteral("051,17493"),
    QStringLiteral("03359829"),   QStringLiteral("05588019"),
};

FakeReader::FakeReader() { setStandardCard(); }

void FakeReader::setStandardCard()
{
    for (std::size_t i = 0; i < m_replies.size(); ++i)
        m_replies[i] = QByteArray::fromHex(kStandardHex[i].toLatin1());
}

QStringList FakeReader::takeCalls() { return std::exchange(m_calls, {}); }

qsizetype FakeReader::count(const QString &prefix) const
{
    return std::ranges::count_if(m_calls, [&prefix](const QString &call) { return call.startsWith(prefix); });
}

std::int16_t FakeReader::record(const QString &function, const QString &call)
{
    m_calls << call;
    std::int16_t status = m_standing.contains(function) ? m_standing[function] : std::int16_t(0);
    if (auto &queue = m_queued[function]; !queue.empty()) {
        status = queue.front();
        queue.erase(queue.begin());
    }
    if (m_onCall)
        m_onCall(call);
    return status;
}

std::int16_t FakeReader::initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    return record(QStringLiteral("initCom"), QStringLiteral("initCom(%1,%2,%3)").arg(icdev).arg(port).arg(baud));
}

std::int16_t FakeReader::closePort() { return record(QStringLiteral("closePort"), QStringLiteral("closePort()")); }

std::int16_t FakeReader::request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    const std::int16_t status =
        record(QStringLiteral("request"), QStringLiteral("request(%1,%2)").arg(icdev).arg(format));
    if (status == 0 && format < m_replies.size()) {
        const QByteArray &reply = m_replies[format];
        std::memcpy(buffer, reply.constData(), static_cast<std::size_t>(reply.size()));
        *aux = static_cast<std::int32_t>(reply.size());
    }
    return status;
}

std::int16_t FakeReader::getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    const std::int16_t status = record(QStringLiteral("getModel"), QStringLiteral("getModel(%1)").arg(icdev));
    if (status == 0) {
        buffer[0] = m_version[0];
        buffer[1] = m_version[1];
        *aux = 2;
    }
    return status;
}

std::int16_t FakeReader::light(std::int32_t icdev, std::uint8_t code)
{
    return record(QStringLiteral("light"), QStringLiteral("light(%1,%2)").arg(icdev).arg(code));
}

std::int16_t FakeReader::beep(std::int32_t icdev, std::uint8_t value)
{
    return record(QStringLiteral("beep"), QStringLiteral("beep(%1,%2)").arg(icdev).arg(value));
}

} // namespace kv
