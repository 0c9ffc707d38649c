// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QList>
#include <QTest>

namespace kv {

// The reply bytes of the card 11 22 33 44 55 in the formats 0 to 10, as the
// project's reader libraries write them.
inline QList<QByteArray> standardCardReplies()
{
    return {"0573785173",
            "1430532898",
            "051,17493",
            QByteArray::fromHex("1122334455"),
            QByteArray::fromHex("5544332211"),
            QByteArray::fromHex("22334455"),
            QByteArray::fromHex("55443322"),
            QByteArray::fromHex("334455"),
            QByteArray::fromHex("554433"),
            "03359829",
            "05588019"};
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
