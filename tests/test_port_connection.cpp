// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "FakeReader.h"
#include "PortConnection.h"

using namespace kv;

// The port state and the open and close sequences.
class PortConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void openPassesNumericValues_data();
    void openPassesNumericValues();
    void outOfRangeRefusedBeforeTheLibrary_data();
    void outOfRangeRefusedBeforeTheLibrary();
    void transitions();
};

void PortConnectionTest::openPassesNumericValues_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("call");
    QTest::newRow("defaults") << QStringLiteral("2") << QStringLiteral("19200") << QStringLiteral("initCom(0,2,19200)");
    QTest::newRow("port 3") << QStringLiteral("3") << QStringLiteral("19200") << QStringLiteral("initCom(0,3,19200)");
    QTest::newRow("baud with letters") << QStringLiteral("2") << QStringLiteral("9600abc")
                                       << QStringLiteral("initCom(0,2,9600)");
    QTest::newRow("empty baud") << QStringLiteral("2") << QString() << QStringLiteral("initCom(0,2,0)");
    QTest::newRow("2.5 to even") << QStringLiteral("2.5") << QStringLiteral("19200") << QStringLiteral("initCom(0,2,19200)");
    QTest::newRow("3.5 to even") << QStringLiteral("3.5") << QStringLiteral("19200") << QStringLiteral("initCom(0,4,19200)");
    QTest::newRow("port outside the list") << QStringLiteral("12") << QStringLiteral("19200")
                                           << QStringLiteral("initCom(0,12,19200)");
    QTest::newRow("non-numeric port") << QStringLiteral("COM2") << QStringLiteral("19200")
                                      << QStringLiteral("initCom(0,0,19200)");
    QTest::newRow("hex baud") << QStringLiteral("2") << QStringLiteral("&H4B00") << QStringLiteral("initCom(0,2,19200)");
    QTest::newRow("largest int32") << QStringLiteral("2147483647") << QStringLiteral("-2147483648")
                                   << QStringLiteral("initCom(0,2147483647,-2147483648)");
}

void PortConnectionTest::openPassesNumericValues()
{
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, call);
    FakeReader reader;
    PortConnection connection(reader);
    const auto outcome = connection.open(port, baud);
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.message, QStringLiteral("串口打开成功！"));
    QCOMPARE(reader.calls(), QStringList{call});
    QCOMPARE(connection.error_com(), PortConnection::kOpen);
}

void PortConnectionTest::outOfRangeRefusedBeforeTheLibrary_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("message");
    const QString portMessage = QStringLiteral("端口号超出范围！");
    const QString baudMessage = QStringLiteral("波特率超出范围！");
    QTest::newRow("port above int32") << QStringLiteral("2147483648") << QStringLiteral("19200") << portMessage;
    QTest::newRow("port rounds above int32") << QStringLiteral("2147483647.5") << QStringLiteral("19200") << portMessage;
    QTest::newRow("port beyond double") << QStringLiteral("1e400") << QStringLiteral("19200") << portMessage;
    QTest::newRow("baud above int32") << QStringLiteral("2") << QStringLiteral("99999999999") << baudMessage;
    QTest::newRow("baud hex beyond 32 bits") << QStringLiteral("2") << QStringLiteral("&H1FFFFFFFF") << baudMessage;
    QTest::newRow("both: the port is checked first") << QStringLiteral("1e10") << QStringLiteral("1e10") << portMessage;
}

void PortConnectionTest::outOfRangeRefusedBeforeTheLibrary()
{
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, message);
    FakeReader reader;
    PortConnection connection(reader);
    const auto outcome = connection.open(port, baud);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.message, message);
    QVERIFY(reader.calls().isEmpty());
    QCOMPARE(connection.error_com(), PortConnection::kClosed);
    QVERIFY(connection.refuses());
}

void PortConnectionTest::transitions()
{
    FakeReader reader;
    PortConnection connection(reader);
    QCOMPARE(connection.error_com(), PortConnection::kNeverOpened);
    QVERIFY(!connection.refuses()); // before the first open the library decides

    reader.queueStatus(QStringLiteral("initCom"), 5);
    auto outcome = connection.open(QStringLiteral("2"), QStringLiteral("19200"));
    QCOMPARE(outcome.message, QStringLiteral("串口打开失败！"));
    QCOMPARE(connection.error_com(), PortConnection::kClosed);
    QVERIFY(connection.refuses());

    QVERIFY(connection.open(QStringLiteral("2"), QStringLiteral("19200")).ok);
    QVERIFY(connection.isOpen());

    reader.queueStatus(QStringLiteral("closePort"), -3);
    outcome = connection.close();
    QCOMPARE(outcome.message, QStringLiteral("串口关闭失败！"));
    QVERIFY(connection.isOpen()); // a failed close leaves the port counted as open

    outcome = connection.close();
    QCOMPARE(outcome.message, QStringLiteral("串口关闭成功！"));
    QCOMPARE(connection.error_com(), PortConnection::kClosed);
    QCOMPARE(reader.calls(), (QStringList{QStringLiteral("initCom(0,2,19200)"), QStringLiteral("initCom(0,2,19200)"),
                                          QStringLiteral("closePort()"), QStringLiteral("closePort()")}));
}

QTEST_APPLESS_MAIN(PortConnectionTest)
#include "test_port_connection.moc"
