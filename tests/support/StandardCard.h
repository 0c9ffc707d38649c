// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTest>

namespace kv {

// The readings of the card 11 22 33 44 55 in the formats 0 to 10, in
// hexadecimal as the window and the console program show them.
inline const std::array<QString, 11> kStandardHex = {
    QStringLiteral("30353733373835313733"), QStringLiteral("31343330353332383938"),
    QStringLiteral("3035312C3137343933"),   QStringLiteral("1122334455"),
    QStringLiteral("5544332211"),           QStringLiteral("22334455"),
    QStringLiteral("55443322"),             QStringLiteral("334455"),
    QStringLiteral("554433"),               QStringLiteral("3033333539383239"),
    QStringLiteral("3035353838303139"),
};

// The reply bytes of those readings, as the project's reader libraries write
// them.
inline QList<QByteArray> standardCardReplies()
{
    QList<QByteArray> replies;
    for (const QString &hex : kStandardHex)
        replies << QByteArray::fromHex(hex.toLatin1());
    return replies;
}

// Rows "format" (int) and "expected" (QByteArray) for a data-driven test that
// reads the standard card in every format.
inline void addStandardCardRows()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected");
    const QList<QByteArray> replies = standardCardReplies();
    for (int format = 0; format < replies.size(); ++format)
        QTest::addRow("format %d", format) << format << replies[format];
}

} // namespace kv
