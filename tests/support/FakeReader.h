// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <functional>
#include <map>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "Reader.h"
#include "StandardCard.h"

namespace kv {

// An in-process reader for tests. It records every call with its arguments
// ("request(0,3)", "light(0,2)", ...) and replies as the test scripts it: a
// status per function (or a queue of statuses), the reply bytes per format,
// the version bytes. A test may also run code inside any call.
class FakeReader final : public Reader
{
public:
    FakeReader();

    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

    // Status a function returns by name ("initCom", "request", ...): the next
    // queued one if any, else its standing status (0 unless set).
    void setStatus(const QString &function, std::int16_t status) { m_standing[function] = status; }
    void queueStatus(const QString &function, std::int16_t status) { m_queued[function].push_back(status); }

    // Reply bytes written for a format on success.
    void setReply(int format, const QByteArray &bytes) { m_replies[static_cast<std::size_t>(format)] = bytes; }
    // Replies of the card 11 22 33 44 55 in every format.
    void setStandardCard();
    void setVersion(std::uint8_t first, std::uint8_t second) { m_version = {first, second}; }

    // Runs after a call is recorded and before it returns.
    void setOnCall(std::function<void(const QString &call)> onCall) { m_onCall = std::move(onCall); }

    const QStringList &calls() const { return m_calls; }
    QStringList takeCalls();
    qsizetype count(const QString &prefix) const;

private:
    std::int16_t record(const QString &function, const QString &call);

    QStringList m_calls;
    std::map<QString, std::int16_t> m_standing;
    std::map<QString, std::vector<std::int16_t>> m_queued;
    std::array<QByteArray, 11> m_replies;
    std::array<std::uint8_t, 2> m_version{0x01, 0x23};
    std::function<void(const QString &)> m_onCall;
};

// The decimal formats' texts of the standard card (StandardCard.h).
extern const std::array<QString, 5> kStandardText;

} // namespace kv
