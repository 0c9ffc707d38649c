// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "SerialDevices.h"
#include "SerialFrame.h"
#include "SerialPort.h"

#include "PseudoTerminal.h"

using namespace kv::serial;

// The frame scanner fed byte by byte, the port-to-device mapping, the
// serial devices present over a folder of pseudo-terminals, and the read
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
    void presentDevices_data();
    void presentDevices();
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

void TestSerialFrame::presentDevices_data()
{
    QTest::addColumn<QString>("pattern");  // {T} stands for the test's folder
    QTest::addColumn<QString>("dev");      // the device folder: dev, or empty (a folder without devices)
    QTest::addColumn<QString>("byId");     // the folder of stable names: by-id, or missing
    QTest::addColumn<QStringList>("found"); // port, path and stable name ("-": none) of each, in order
    QTest::addColumn<QString>("advice");   // what the reader says after "no such device; "; empty where a row above says it

    const auto row = [](const char *name, const char *pattern, const char *dev, const char *byId,
                        const QStringList &found, const char *advice) {
        QTest::newRow(name) << QString::fromLatin1(pattern) << QString::fromLatin1(dev) << QString::fromLatin1(byId)
                            << found << QString::fromLatin1(advice);
    };
    const QString usb0 = QStringLiteral("{T}/dev/ttyUSB0 usb-Maker_Reader_A-if00-port0");
    const QString usb1 = QStringLiteral("{T}/dev/ttyUSB1 -");
    const QString acm0 = QStringLiteral("{T}/dev/ttyACM0 usb-Maker_Module_B-if00");
    const QString s2 = QStringLiteral("{T}/dev/ttyS2 -");
    const QString s10 = QStringLiteral("{T}/dev/ttyS10 -");
    const auto port = [](int number, const QString &device) { return QStringLiteral("%1 %2").arg(number).arg(device); };
    const auto none = [](const QString &device) { return QStringLiteral("none ") + device; };
    // ttyS0 has no driver and is left out unless a port number names it;
    // ttyUSBx and the file ttyUSB5 are no serial devices.
    row("adapters by number", "{T}/dev/ttyUSB{n-1}", "dev", "by-id",
        {port(1, usb0), port(2, usb1), none(acm0), none(s2), none(s10)},
        "present: {T}/dev/ttyUSB0 (port 1), {T}/dev/ttyUSB1 (port 2), {T}/dev/ttyACM0 (no port number), "
        "{T}/dev/ttyS2 (no port number), {T}/dev/ttyS10 (no port number): plug the adapter in, or choose the port "
        "of a present device");
    row("built-in ports, one without a driver", "{T}/dev/ttyS{n-1}", "dev", "by-id",
        {port(1, QStringLiteral("{T}/dev/ttyS0 -")), port(3, s2), port(11, s10), none(acm0), none(usb0), none(usb1)},
        "");
    row("pinned by its stable name", "{T}/by-id/usb-Maker_Reader_A-if00-port0", "dev", "by-id",
        {port(1, usb0), none(acm0), none(s2), none(s10), none(usb1)}, "");
    row("a device outside the folder", "{T}/other/module{n}", "dev", "missing",
        {port(7, QStringLiteral("{T}/other/module7 -")), none(QStringLiteral("{T}/dev/ttyACM0 -")), none(s2),
         none(s10), none(QStringLiteral("{T}/dev/ttyUSB0 -")), none(usb1)},
        "");
    row("no port number: pin a stable name", "{T}/nothing/{n}", "dev", "by-id",
        {none(acm0), none(s2), none(s10), none(usb0), none(usb1)},
        "present: {T}/dev/ttyACM0 (no port number), {T}/dev/ttyS2 (no port number), {T}/dev/ttyS10 (no port "
        "number), {T}/dev/ttyUSB0 (no port number), {T}/dev/ttyUSB1 (no port number): plug the adapter in, or give "
        "a present device a port number: KV718ST_SERIAL_DEVICE={T}/by-id/usb-Maker_Module_B-if00 opens "
        "{T}/dev/ttyACM0 whatever the port number");
    row("no port number, no stable names", "{T}/nothing/{n}", "dev", "missing",
        {none(QStringLiteral("{T}/dev/ttyACM0 -")), none(s2), none(s10), none(QStringLiteral("{T}/dev/ttyUSB0 -")),
         none(usb1)},
        "present: {T}/dev/ttyACM0 (no port number), {T}/dev/ttyS2 (no port number), {T}/dev/ttyS10 (no port "
        "number), {T}/dev/ttyUSB0 (no port number), {T}/dev/ttyUSB1 (no port number): plug the adapter in, or give "
        "a present device a port number: KV718ST_SERIAL_DEVICE={T}/dev/ttyACM{n-1} makes {T}/dev/ttyACM0 port 1");
    row("nothing present", "{T}/empty/ttyUSB{n-1}", "empty", "by-id", {},
        "no serial device is present: plug the adapter in");
}

void TestSerialFrame::presentDevices()
{
    QFETCH(QString, pattern);
    QFETCH(QString, dev);
    QFETCH(QString, byId);
    QFETCH(QStringList, found);
    QFETCH(QString, advice);

    // A folder of devices as the system's looks: links to real
    // pseudo-terminals, the drivers of the built-in ports, stable names.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString root = folder.path();
    for (const char *sub : {"dev", "empty", "by-id", "other", "sys/ttyS0/device", "sys/ttyS2/device/driver",
                            "sys/ttyS10/device/driver"})
        QVERIFY(QDir(root).mkpath(QString::fromLatin1(sub)));
    std::vector<std::unique_ptr<PseudoTerminal>> terminals;
    const auto device = [&](const QString &link) {
        terminals.push_back(std::make_unique<PseudoTerminal>());
        return ::symlink(terminals.back()->slavePath().c_str(), qPrintable(root + u'/' + link)) == 0;
    };
    for (const char *name : {"dev/ttyUSB0", "dev/ttyUSB1", "dev/ttyACM0", "dev/ttyS0", "dev/ttyS2", "dev/ttyS10",
                             "other/module7"})
        QVERIFY(device(QString::fromLatin1(name)));
    QVERIFY(QFile::link(root + QStringLiteral("/dev/ttyUSB0"), root + QStringLiteral("/dev/ttyUSBx")));
    QFile file(root + QStringLiteral("/dev/ttyUSB5"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(::symlink("../dev/ttyUSB0", qPrintable(root + QStringLiteral("/by-id/usb-Maker_Reader_A-if00-port0"))), 0);
    QCOMPARE(::symlink("../dev/ttyACM0", qPrintable(root + QStringLiteral("/by-id/usb-Maker_Module_B-if00"))), 0);

    const DeviceFolders folders{(root + u'/' + dev).toStdString(), (root + QStringLiteral("/sys")).toStdString(),
                                (root + u'/' + byId).toStdString()};
    const std::string rule = pattern.replace(QStringLiteral("{T}"), root).toStdString();
    QStringList listed;
    struct stat terminal {};
    QCOMPARE(::stat(terminals.front()->slavePath().c_str(), &terminal), 0);
    const group *terminalGroup = ::getgrgid(terminal.st_gid);
    for (const SerialDevice &each : serialDevices(rule, folders)) {
        listed << QStringLiteral("%1 %2 %3")
                      .arg(each.port ? QString::number(each.port) : QStringLiteral("none"),
                           QString::fromStdString(each.path),
                           each.byId.empty() ? QStringLiteral("-") : QString::fromStdString(each.byId));
        // The terminals are the test's own: its group, open to it.
        QCOMPARE(QString::fromStdString(each.group), terminalGroup ? QString::fromUtf8(terminalGroup->gr_name)
                                                                   : QString::number(terminal.st_gid));
        QVERIFY(each.accessible);
    }
    QCOMPARE(listed, found.replaceInStrings(QStringLiteral("{T}"), root));
    if (!advice.isEmpty())
        QCOMPARE(QString::fromStdString(missingDeviceAdvice(rule, folders)), advice.replace(QStringLiteral("{T}"), root));
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
