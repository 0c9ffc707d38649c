// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include <algorithm>

#include "CardId.h"

Q_DECLARE_METATYPE(kv::CardId)

class TestCardId : public QObject
{
    Q_OBJECT

private slots:
    void writesFormat_data();
    void writesFormat();
};

void TestCardId::writesFormat_data()
{
    QTest::addColumn<kv::CardId>("id");
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected"); // empty: format rejected

    const kv::CardId example{0x11, 0x22, 0x33, 0x44, 0x55};
    const QList<QByteArray> exampleReplies{"0573785173", "1430532898", "051,17493", QByteArray::fromHex("1122334455"),
                                           QByteArray::fromHex("5544332211"), QByteArray::fromHex("22334455"),
                                           QByteArray::fromHex("55443322"), QByteArray::fromHex("334455"),
                                           QByteArray::fromHex("554433"), "03359829", "05588019"};
    for (int format = 0; format < exampleReplies.size(); ++format)
        QTest::addRow("11 22 33 44 55, format %d", format) << example << format << exampleReplies[format];
    QTest::newRow("format 11 rejected") << example << 11 << QByteArray();
    QTest::newRow("format 255 rejected") << example << 255 << QByteArray();

    const kv::CardId zero{};
    QTest::newRow("zero, 0: padded") << zero << 0 << QByteArray("0000000000");
    QTest::newRow("zero, 2: padded") << zero << 2 << QByteArray("000,00000");
    QTest::newRow("zero, 8: raw") << zero << 8 << QByteArray(3, '\0');
    const kv::CardId full{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    QTest::newRow("FF, 1: widest 32-bit") << full << 1 << QByteArray("4294967295");
    QTest::newRow("FF, 2: widest parts") << full << 2 << QByteArray("255,65535");
    QTest::newRow("FF, 10: widest 24-bit") << full << 10 << QByteArray("16777215");
    // Single set bits show which byte lands where, and that a is unsigned.
    const kv::CardId low{0x0A, 0x00, 0x00, 0x00, 0x01};
    QTest::newRow("low bit, 1") << low << 1 << QByteArray("0016777216");
    QTest::newRow("low bit, 10") << low << 10 << QByteArray("00065536");
    QTest::newRow("low bit, 4: version last") << low << 4 << QByteArray::fromHex("010000000A");
    const kv::CardId top{0x00, 0x80, 0x00, 0x00, 0x00};
    QTest::newRow("top bit, 0: unsigned") << top << 0 << QByteArray("2147483648");
    QTest::newRow("top bit, 9: a left out") << top << 9 << QByteArray("00000000");
}

void TestCardId::writesFormat()
{
    QFETCH(kv::CardId, id);
    QFETCH(int, format);
    QFETCH(QByteArray, expected);

    std::array<std::uint8_t, kv::kMaxCardReplySize> buffer{};
    buffer.fill(0xEE);
    const std::size_t written = kv::writeCardReply(id, static_cast<std::uint8_t>(format), buffer);

    QCOMPARE(written, static_cast<std::size_t>(expected.size()));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), expected.size()), expected);
    QVERIFY(std::all_of(buffer.begin() + expected.size(), buffer.end(), [](auto byte) { return byte == 0xEE; }));
}

QTEST_APPLESS_MAIN(TestCardId)
#include "test_card_id.moc"
