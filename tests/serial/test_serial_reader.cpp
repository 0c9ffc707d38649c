// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "SerialPort.h"
#include "SerialReader.h"

#include "PseudoTerminal.h"

using namespace kv::serial;
using namespace std::chrono_literals;

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

// A read and what it cost: the calling thread's wall and CPU time.
struct Read
{
    std::int16_t status = -1;
    QByteArray buffer;
    std::int32_t aux = -7;
    Milliseconds wall{};
    Milliseconds cpu{};
};

Milliseconds threadCpuTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

Read timedRead(SerialReader &reader)
{
    Read read;
    read.buffer = QByteArray(16, '\xEE');
    const auto wallStart = std::chrono::steady_clock::now();
    const Milliseconds cpuStart = threadCpuTime();
    read.status = reader.request(0, 3, reinterpret_cast<std::uint8_t *>(read.buffer.data()), &read.aux);
    read.cpu = threadCpuTime() - cpuStart;
    read.wall = std::chrono::steady_clock::now() - wallStart;
    return read;
}

void pointAt(const std::string &device) { qputenv(kDeviceVariable, QByteArray::fromStdString(device)); }

QStringList logLines(std::ostringstream &log)
{
    QStringList lines = QString::fromStdString(log.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    log.str({});
    return lines;
}

const QByteArray kUntouched(16, '\xEE');

// A call of the reader with a buffer and an output counter.
using Call = std::function<std::int16_t(SerialReader &, std::uint8_t *buffer, std::int32_t *aux)>;

} // namespace

Q_DECLARE_METATYPE(Call)

// The reader over a real pseudo-terminal, the test playing the module.
class TestSerialReader : public QObject
{
    Q_OBJECT

private slots:
    void readsOnlyFramesOfThisCall_data();
    void readsOnlyFramesOfThisCall();
    void silenceFailsAtTheBound();
    void hangUpFailsPromptly_data();
    void hangUpFailsPromptly();
    void openFailures_data();
    void openFailures();
    void busyDevice_data();
    void busyDevice();
    void noPermission();
    void lineSettings_data();
    void lineSettings();
    void reopeningClosesFirst();
    void refusedCalls_data();
    void refusedCalls();
};

void TestSerialReader::readsOnlyFramesOfThisCall_data()
{
    QTest::addColumn<QByteArray>("before");    // sent and delivered before the call
    QTest::addColumn<QByteArrayList>("during"); // sent piece by piece during the call, as a module does
    QTest::addColumn<int>("pause");             // milliseconds after each piece, then all again
    QTest::addColumn<QByteArray>("id");         // the ID read, hex; empty: no card

    const QByteArray a = moduleFrame("1122334455");
    const QByteArray b = moduleFrame("A0B1C2D3E4");
    const QByteArray badChecksum = QByteArray("\x02" "1122334455" "12\x03");
    QTest::newRow("frames") << QByteArray() << QByteArrayList{a} << 50 << QByteArray("1122334455");
    QTest::newRow("lower-case digits") << QByteArray() << QByteArrayList{QByteArray("\x02" "0a1b2c3d4e" "4e\x03")}
                                       << 50 << QByteArray("0a1b2c3d4e");
    QTest::newRow("upper-case digits") << QByteArray() << QByteArrayList{b} << 50 << QByteArray("a0b1c2d3e4");
    QTest::newRow("noise between frames") << QByteArray() << QByteArrayList{"\r\n#\x03", a, "\x02\x02zz\xff"} << 15
                                          << QByteArray("1122334455");
    QTest::newRow("frame in pieces") << QByteArray() << QByteArrayList{a.left(3), a.mid(3, 4), a.mid(7, 6), a.right(1)}
                                     << 5 << QByteArray("1122334455");
    QTest::newRow("bad checksum") << QByteArray() << QByteArrayList{badChecksum} << 50 << QByteArray();
    QTest::newRow("non-hex digit") << QByteArray() << QByteArrayList{QByteArray("\x02" "11223G4455" "11\x03")} << 50
                                   << QByteArray();
    QTest::newRow("bad checksum, then another card") << QByteArray() << QByteArrayList{badChecksum, b} << 20
                                                     << QByteArray("a0b1c2d3e4");
    QTest::newRow("stale frame") << a << QByteArrayList{} << 0 << QByteArray();
    QTest::newRow("stale frame, then another card") << a << QByteArrayList{b} << 50 << QByteArray("a0b1c2d3e4");
    // The first piece is empty: the rest comes once the call has settled.
    QTest::newRow("frame begun before the call") << a.left(6) << QByteArrayList{{}, a.mid(6)} << 40 << QByteArray();
    QTest::newRow("frame begun before the call, then another card")
        << a.left(6) << QByteArrayList{{}, a.mid(6), b} << 40 << QByteArray("a0b1c2d3e4");
}

void TestSerialReader::readsOnlyFramesOfThisCall()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArrayList, during);
    QFETCH(int, pause);
    QFETCH(QByteArray, id);

    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    QCOMPARE(reader.initCom(0, 1, 9600), kOk);
    terminal.send(before);
    QTest::qSleep(50); // delivered to the reader's side before the call

    std::vector<Piece> script;
    for (const QByteArray &bytes : during)
        script.push_back({bytes, std::chrono::milliseconds(pause)});
    const ModuleEmulator module(terminal, script);
    const Read read = timedRead(reader);
    if (id.isEmpty()) {
        QCOMPARE(read.status, kNoCard);
        QCOMPARE(read.buffer, kUntouched);
        QCOMPARE(read.aux, -7);
    } else {
        QCOMPARE(read.status, kOk);
        QCOMPARE(read.buffer, QByteArray::fromHex(id) + kUntouched.left(11));
        QCOMPARE(read.aux, 5);
    }
    QCOMPARE(log.str(), std::string());
}

void TestSerialReader::silenceFailsAtTheBound()
{
    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    QCOMPARE(reader.initCom(0, 1, 9600), kOk);
    const Milliseconds bound = readBound(9600);

    const Read read = timedRead(reader);
    QCOMPARE(read.status, kNoCard);
    QVERIFY2(read.wall >= bound, qPrintable(QString::number(read.wall.count())));
    QVERIFY2(read.wall < 5 * bound, qPrintable(QString::number(read.wall.count())));
    // Waiting sleeps in poll() and does not spin.
    QVERIFY2(read.cpu < read.wall / 2, qPrintable(QString::number(read.cpu.count())));
}

void TestSerialReader::hangUpFailsPromptly_data()
{
    QTest::addColumn<bool>("duringRead");
    QTest::newRow("during a read") << true;
    QTest::newRow("between reads") << false;
}

void TestSerialReader::hangUpFailsPromptly()
{
    QFETCH(bool, duringRead);
    // At 300 baud a read waits over a second: a prompt failure is clearly
    // apart from one at the bound.
    constexpr std::int32_t kSlowRate = 300;
    const Milliseconds bound = readBound(kSlowRate);
    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    QCOMPARE(reader.initCom(0, 1, kSlowRate), kOk);

    Read read;
    if (duringRead) {
        const ModuleEmulator module(terminal, {{{}, 50ms}, {{}, 0ms, true}}, false);
        read = timedRead(reader);
        QVERIFY2(read.cpu < read.wall / 2, qPrintable(QString::number(read.cpu.count())));
    } else {
        terminal.hangUp();
        read = timedRead(reader);
    }
    QCOMPARE(read.status, kDeviceLost);
    QVERIFY2(read.wall < bound / 2, qPrintable(QString::number(read.wall.count())));
    QCOMPARE(read.buffer, kUntouched);
    const QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("serial reader: %1: the device stopped answering")
                                     .arg(QString::fromStdString(terminal.slavePath()))),
             qPrintable(lines[0]));

    // Later reads fail at once, quietly, until the port is opened again.
    const Read again = timedRead(reader);
    QCOMPARE(again.status, kDeviceLost);
    QVERIFY(again.wall < bound / 2);
    QCOMPARE(logLines(log), QStringList());
    QCOMPARE(reader.closePort(), kOk);

    PseudoTerminal replacement;
    pointAt(replacement.slavePath());
    QCOMPARE(reader.initCom(0, 1, kSlowRate), kOk);
    const ModuleEmulator module(replacement, {{moduleFrame("1122334455"), 50ms}});
    QCOMPARE(timedRead(reader).status, kOk);
}

void TestSerialReader::openFailures_data()
{
    QTest::addColumn<QByteArray>("device"); // empty: the pseudo-terminal
    QTest::addColumn<int>("icdev");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<std::int16_t>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << QByteArray("/nonexistent/kv-serial-{n}") << 0 << 1 << 9600 << kNoDevice
                                    << QStringLiteral("port 1 (/nonexistent/kv-serial-1): no such device");
    QTest::newRow("not a serial device") << QByteArray("/dev/null") << 0 << 1 << 9600 << kOpenFailed
                                         << QStringLiteral("port 1 (/dev/null): not a serial device");
    QTest::newRow("rate 0") << QByteArray() << 0 << 1 << 0 << kBadRate << QStringLiteral("0 baud refused");
    QTest::newRow("negative rate") << QByteArray() << 0 << 1 << -9600 << kBadRate
                                   << QStringLiteral("-9600 baud refused");
    QTest::newRow("rate below 50") << QByteArray() << 0 << 1 << 49 << kBadRate << QStringLiteral("49 baud refused");
    QTest::newRow("port 0") << QByteArray() << 0 << 0 << 9600 << kBadArgument
                            << QStringLiteral("port 0 does not exist");
    QTest::newRow("device address 1") << QByteArray() << 1 << 1 << 9600 << kBadAddress
                                      << QStringLiteral("device address 1 does not exist");
}

void TestSerialReader::openFailures()
{
    QFETCH(QByteArray, device);
    QFETCH(int, icdev);
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(std::int16_t, status);
    QFETCH(QString, message);

    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    QCOMPARE(reader.initCom(0, 1, 9600), kOk);
    if (!device.isEmpty())
        qputenv(kDeviceVariable, device);

    QCOMPARE(reader.initCom(icdev, port, baud), status);
    const QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("serial reader: ")), qPrintable(lines[0]));
    QVERIFY2(lines[0].contains(message), qPrintable(lines[0]));

    // The failed open closed what was open before it.
    QCOMPARE(reader.closePort(), kPortClosed);
    pointAt(terminal.slavePath());
    SerialReader other(log);
    QCOMPARE(other.initCom(0, 1, 9600), kOk);
}

void TestSerialReader::busyDevice_data()
{
    QTest::addColumn<bool>("byThisLibrary");
    QTest::newRow("open in another reader") << true;
    QTest::newRow("locked by another program") << false;
}

void TestSerialReader::busyDevice()
{
    QFETCH(bool, byThisLibrary);
    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader first(log);
    int lockHolder = -1;
    if (byThisLibrary) {
        QCOMPARE(first.initCom(0, 1, 9600), kOk);
    } else {
        lockHolder = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(lockHolder >= 0);
        QCOMPARE(::flock(lockHolder, LOCK_EX | LOCK_NB), 0);
    }

    SerialReader second(log);
    QCOMPARE(second.initCom(0, 1, 9600), kBusy);
    const QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains(QStringLiteral("busy")), qPrintable(lines[0]));

    if (byThisLibrary)
        QCOMPARE(first.closePort(), kOk);
    else
        ::close(lockHolder);
    QCOMPARE(second.initCom(0, 1, 9600), kOk);
}

void TestSerialReader::noPermission()
{
    // The open runs in a child process as an unprivileged user, so that the
    // device's mode applies even when the tests run as root.
    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    QCOMPARE(::chmod(terminal.slavePath().c_str(), 0), 0);
    constexpr int kCannotDropRoot = 200;
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(kCannotDropRoot);
        std::ostringstream log;
        SerialReader reader(log);
        ::_exit(reader.initCom(0, 1, 9600));
    }
    int childStatus = 0;
    QCOMPARE(::waitpid(child, &childStatus, 0), child);
    QVERIFY(WIFEXITED(childStatus));
    if (WEXITSTATUS(childStatus) == kCannotDropRoot)
        QSKIP("cannot switch to an unprivileged user here");
    QCOMPARE(WEXITSTATUS(childStatus), int(kNoPermission));
}

void TestSerialReader::lineSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("speed"); // what the terminal reports
    QTest::newRow("9600") << 9600 << int(B9600);
    QTest::newRow("115200") << 115200 << int(B115200);
    QTest::newRow("12345, not a standard rate") << 12345 << 0010000; // the kernel's any-rate marker
}

void TestSerialReader::lineSettings()
{
    QFETCH(int, baud);
    QFETCH(int, speed);
    PseudoTerminal terminal;
    // The test's own view of the same terminal, opened before the reader
    // takes exclusive use.
    const int view = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(view >= 0);
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    QCOMPARE(reader.initCom(0, 1, baud), kOk);

    termios settings{};
    QCOMPARE(::tcgetattr(view, &settings), 0);
    ::close(view);
    QCOMPARE(int(::cfgetispeed(&settings)), speed);
    QCOMPARE(int(::cfgetospeed(&settings)), speed);
    QCOMPARE(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD), tcflag_t(CS8 | CLOCAL | CREAD));
    QCOMPARE(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), tcflag_t(0));
    QCOMPARE(int(settings.c_cc[VMIN]), 1);
}

void TestSerialReader::reopeningClosesFirst()
{
    PseudoTerminal first;
    PseudoTerminal second;
    std::ostringstream log;
    SerialReader reader(log);
    pointAt(first.slavePath());
    QCOMPARE(reader.initCom(0, 1, 9600), kOk);
    pointAt(second.slavePath());
    QCOMPARE(reader.initCom(0, 1, 9600), kOk);

    // The first device is free again; reads come from the second.
    pointAt(first.slavePath());
    SerialReader other(log);
    QCOMPARE(other.initCom(0, 1, 9600), kOk);
    const ModuleEmulator onFirst(first, {{moduleFrame("0101010101"), 20ms}});
    const ModuleEmulator onSecond(second, {{moduleFrame("0202020202"), 20ms}});
    const Read read = timedRead(reader);
    QCOMPARE(read.status, kOk);
    QCOMPARE(read.buffer.left(5), QByteArray::fromHex("0202020202"));
}

void TestSerialReader::refusedCalls_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<Call>("call");
    QTest::addColumn<std::int16_t>("status");
    const auto row = [](const char *name, bool open, Call call, std::int16_t status) {
        QTest::newRow(name) << open << call << status;
    };
    const Call version = [](SerialReader &r, std::uint8_t *buffer, std::int32_t *aux) {
        return r.getModel(0, buffer, reinterpret_cast<std::uint8_t *>(aux));
    };
    row("version", true, version, kNotSupported);
    row("version, never opened", false, version, kNotSupported);
    row("indicator", true, [](SerialReader &r, std::uint8_t *, std::int32_t *) { return r.light(0, 1); },
        kNotSupported);
    row("buzzer", true, [](SerialReader &r, std::uint8_t *, std::int32_t *) { return r.beep(0, 10); }, kNotSupported);
    row("close, never opened", false, [](SerialReader &r, std::uint8_t *, std::int32_t *) { return r.closePort(); },
        kPortClosed);
    const Call read = [](SerialReader &r, std::uint8_t *buffer, std::int32_t *aux) {
        return r.request(0, 3, buffer, aux);
    };
    row("read, never opened", false, read, kPortClosed);
    row("read, null buffer", true,
        [](SerialReader &r, std::uint8_t *, std::int32_t *aux) { return r.request(0, 3, nullptr, aux); },
        kBadArgument);
    row("read, format 11", true,
        [](SerialReader &r, std::uint8_t *buffer, std::int32_t *aux) { return r.request(0, 11, buffer, aux); },
        kBadArgument);
    row("read, address 1", true,
        [](SerialReader &r, std::uint8_t *buffer, std::int32_t *aux) { return r.request(1, 3, buffer, aux); },
        kBadAddress);
}

void TestSerialReader::refusedCalls()
{
    QFETCH(bool, open);
    QFETCH(Call, call);
    QFETCH(std::int16_t, status);
    PseudoTerminal terminal;
    pointAt(terminal.slavePath());
    std::ostringstream log;
    SerialReader reader(log);
    if (open)
        QCOMPARE(reader.initCom(0, 1, 9600), kOk);
    // A card is there all along: the refusals are not for want of one.
    const ModuleEmulator module(terminal, {{moduleFrame("1122334455"), 20ms}});

    QByteArray buffer = kUntouched;
    std::int32_t aux = -7;
    QCOMPARE(call(reader, reinterpret_cast<std::uint8_t *>(buffer.data()), &aux), status);
    QCOMPARE(buffer, kUntouched);
    QCOMPARE(aux, -7);
}

QTEST_APPLESS_MAIN(TestSerialReader)
#include "test_serial_reader.moc"
