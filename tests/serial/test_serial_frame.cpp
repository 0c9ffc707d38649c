// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "SerialFrame.h"
#include "SerialPort.h"

#include "PseudoTerminal.h"

using namespace kv::serial;

// The frame scanner fed byte by byte, the port-to-device mapping and the read
// bound.
class TestSerialFrame : public QObject
{
    Q_OBJECT

private slots:
    void scanner_data();
    void scanner();
    void resetForgetsFrameUnderWay();
    void devicePaths_data();
    void devicePaths();
    void readBounds_data();
    void readBounds();
};

void TestSerialFrame::scanner_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("ids"); // every ID found, in order, as hex

    const QByteArray a = moduleFrame("1122334455");
    const QByteArray b = moduleFrame("00A0B0C0D0");
    QTest::newRow("one frame") << a << QByteArray("1122334455");
    QTest::newRow("two frames") << a + b << QByteArray("112233445500a0b0c0d0");
    QTest::newRow("lower-case digits") << QByteArray("\x02" "0a1b2c3d4e" "4e\x03") << QByteArray("0a1b2c3d4e");
    QTest::newRow("mixed-case digits") << QByteArray("\x02" "0A1b2C3d4E" "4e\x03") << QByteArray("0a1b2c3d4e");
    QTest::newRow("noise around and between") << "\r\n\x03zz" + a + "\x03\r\n12" + b + "\xff"
                                              << QByteArray("112233445500a0b0c0d0");
    QTest::newRow("bad checksum") << QByteArray("\x02" "1122334455" "12\x03") + b << QByteArray("00a0b0c0d0");
    QTest::newRow("non-hex digit") << QByteArray("\x02" "11223G4455" "11\x03") + b << QByteArray("00a0b0c0d0");
    QTest::newRow("blank inside") << QByteArray("\x02" "11223 4455" "11\x03") << QByteArray();
    QTest::newRow("ETX missing") << QByteArray("\x02" "1122334455" "11\r") << QByteArray();
    QTest::newRow("ETX too early") << QByteArray("\x02" "1122334455" "1\x03") << QByteArray();
    QTest::newRow("a digit too many") << QByteArray("\x02" "1122334455" "110\x03") << QByteArray();
    QTest::newRow("tail of a frame") << a.mid(5) << QByteArray();
    QTest::newRow("tail, then a frame") << a.mid(5) + b << QByteArray("00a0b0c0d0");
    QTest::newRow("broken off by a new frame") << a.left(9) + b << QByteArray("00a0b0c0d0");
}

void TestSerialFrame::scanner()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, ids);
    FrameScanner scanner;
    QByteArray found;
    for (const char byte : stream)
        if (const auto id = scanner.feed(static_cast<std::uint8_t>(byte)))
            found += QByteArray(reinterpret_cast<const char *>(id->data()), 5).toHex();
    QCOMPARE(found, ids);
}

void TestSerialFrame::resetForgetsFrameUnderWay()
{
    // The same bytes without the reset make a whole frame.
    FrameScanner scanner;
    for (const char byte : moduleFrame("1122334455").left(7))
        QVERIFY(!scanner.feed(static_cast<std::uint8_t>(byte)));
    scanner.reset();
    for (const char byte : moduleFrame("1122334455").mid(7))
        QVERIFY(!scanner.feed(static_cast<std::uint8_t>(byte)));
}

void TestSerialFrame::devicePaths_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    const QString usb = QString::fromLatin1(kDefaultDevicePattern);
    QTest::newRow("default, port 1") << usb << 1 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("default, port 2") << usb << 2 << QStringLiteral("/dev/ttyUSB1");
    QTest::newRow("default, port 11") << usb << 11 << QStringLiteral("/dev/ttyUSB10");
    QTest::newRow("port number itself") << QStringLiteral("/dev/rfid{n}") << 3 << QStringLiteral("/dev/rfid3");
    QTest::newRow("both placeholders") << QStringLiteral("/x/{n}/{n-1}") << 5 << QStringLiteral("/x/5/4");
    QTest::newRow("fixed path") << QStringLiteral("/dev/serial/by-id/usb-x") << 7
                                << QStringLiteral("/dev/serial/by-id/usb-x");
    QTest::newRow("no placeholder in braces") << QStringLiteral("/dev/{m}{n-2}") << 4
                                              << QStringLiteral("/dev/{m}{n-2}");
}

void TestSerialFrame::devicePaths()
{
    QFETCH(QString, pattern);
    QFETCH(int, port);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(devicePath(pattern.toStdString(), port)), path);
}

void TestSerialFrame::readBounds_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("milliseconds");
    // 270 ms plus two 140-bit frames, rounded up to the millisecond.
    QTest::newRow("9600, the modules' rate") << 9600 << 300;
    QTest::newRow("1200") << 1200 << 504;
    QTest::newRow("115200") << 115200 << 273;
}

void TestSerialFrame::readBounds()
{
    QFETCH(int, baud);
    QFETCH(int, milliseconds);
    QCOMPARE(readBound(baud).count(), milliseconds);
}

QTEST_APPLESS_MAIN(TestSerialFrame)
#include "test_serial_frame.moc"
