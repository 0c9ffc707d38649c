// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <optional>
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

QString logPrefix() { return QStringLiteral("serial reader: "); }

// Debian's fixed users and groups (base-passwd).
constexpr uid_t kNobody = 65534;
constexpr int kNoGroup = 65534; // nogroup, nobody's own group
constexpr int kTtyGroup = 5;    // tty

QString groupOf(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromUtf8(entry->gr_name) : QString::number(gid);
}

// The name the system shows for this program (/proc/self/comm).
QString processName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
}

// Two opens by a new reader, and what it said: its log lines and the
// problems it gave.
struct Attempt
{
    QList<int> statuses;
    QStringList log;
    QStringList problems;
};

Attempt openTwice(std::int32_t port, const DeviceFolders &folders = {})
{
    std::ostringstream log;
    SerialReader reader(log, folders);
    Attempt attempt;
    for (int i = 0; i < 2; ++i)
        attempt.statuses << reader.initCom(0, port, 9600);
    while (const char *problem = reader.takeProblem())
        attempt.problems << QString::fromUtf8(problem);
    attempt.log = logLines(log);
    return attempt;
}

// The same in a child process as the user nobody with `gid` as its only
// group, so that the device's mode and exclusive use apply even when the
// tests run as root; nothing where the child cannot become nobody.
std::optional<Attempt> openTwiceAsNobody(gid_t gid, std::int32_t port)
{
    int channel[2] = {-1, -1};
    if (::pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(kNobody) != 0)
            ::_exit(1);
        const Attempt attempt = openTwice(port);
        QByteArray report;
        for (const int status : attempt.statuses)
            report += 'S' + QByteArray::number(status) + '\n';
        for (const QString &line : attempt.log)
            report += 'L' + line.toUtf8() + '\n';
        for (const QString &problem : attempt.problems)
            report += 'P' + problem.toUtf8() + '\n';
        const bool written = ::write(channel[1], report.constData(), static_cast<size_t>(report.size())) == report.size();
        ::_exit(written ? 0 : 2);
    }
    ::close(channel[1]);
    QByteArray report;
    char chunk[4096];
    for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, n);
    ::close(channel[0]);
    int childStatus = 0;
    if (child < 0 || ::waitpid(child, &childStatus, 0) != child || !WIFEXITED(childStatus) ||
        WEXITSTATUS(childStatus) != 0)
        return std::nullopt;
    Attempt attempt;
    for (const QByteArray &line : report.split('\n')) {
        if (line.startsWith('S'))
            attempt.statuses << line.mid(1).toInt();
        else if (line.startsWith('L'))
            attempt.log << QString::fromUtf8(line.mid(1));
        else if (line.startsWith('P'))
            attempt.problems << QString::fromUtf8(line.mid(1));
    }
    return attempt;
}

// Another program that has the device: a process of its own, named
// kv-lock-holder, that holds a lock on it or has it in exclusive use until it
// is destroyed.
class HolderProcess
{
public:
    HolderProcess(const std::string &path, bool exclusive)
    {
        int ready[2] = {-1, -1};
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_NAME, "kv-lock-holder");
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const bool held = fd >= 0 && (exclusive ? ::ioctl(fd, TIOCEXCL) == 0 : ::flock(fd, LOCK_EX | LOCK_NB) == 0);
            const char answer = held ? '1' : '0';
            if (::write(ready[1], &answer, 1) != 1 || !held)
                ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char answer = '0';
        m_held = m_pid > 0 && ::read(ready[0], &answer, 1) == 1 && answer == '1';
        ::close(ready[0]);
    }
    ~HolderProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    HolderProcess(const HolderProcess &) = delete;
    HolderProcess &operator=(const HolderProcess &) = delete;

    pid_t pid() const { return m_pid; }
    bool held() const { return m_held; }

private:
    pid_t m_pid = -1;
    bool m_held = false;
};

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
    void refusalsSayTheFix_data();
    void refusalsSayTheFix();
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
    const QString port = QStringLiteral("port 1 (%1)").arg(QString::fromStdString(terminal.slavePath()));
    QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral("serial reader: %1: the reader was lost (").arg(port)),
             qPrintable(lines[0]));
    // The same text as the link event, which says the link is down.
    bool up = true;
    QCOMPARE(QString::fromUtf8(reader.takeLinkEvent(up)), lines[0].mid(logPrefix().size()));
    QVERIFY(!up);

    // Later reads fail at once, quietly, while the device stays away.
    const Read again = timedRead(reader);
    QCOMPARE(again.status, kDeviceLost);
    QVERIFY(again.wall < bound / 2);
    QCOMPARE(logLines(log), QStringList());
    QVERIFY(!reader.takeLinkEvent(up));
    QCOMPARE(reader.closePort(), kOk);
    QCOMPARE(reader.closePort(), kPortClosed);

    // After a close, the next open that succeeds is the return.
    PseudoTerminal replacement;
    pointAt(replacement.slavePath());
    QCOMPARE(reader.initCom(0, 1, kSlowRate), kOk);
    const QString back = QStringLiteral("port 1 (%1): the reader is back").arg(QString::fromStdString(replacement.slavePath()));
    QCOMPARE(logLines(log), QStringList{QStringLiteral("serial reader: ") + back});
    QCOMPARE(QString::fromUtf8(reader.takeLinkEvent(up)), back);
    QVERIFY(up);
    QVERIFY(!reader.takeLinkEvent(up));
    const ModuleEmulator module(replacement, {{moduleFrame("1122334455"), 50ms}});
    QCOMPARE(timedRead(reader).status, kOk);
    QVERIFY(!reader.takeProblem());
}

void TestSerialReader::openFailures_data()
{
    QTest::addColumn<QByteArray>("device"); // empty: the pseudo-terminal
    QTest::addColumn<int>("icdev");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<std::int16_t>("status");
    QTest::addColumn<QString>("message");
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

void TestSerialReader::refusalsSayTheFix_data()
{
    QTest::addColumn<QString>("setup");  // what refuses the open
    QTest::addColumn<bool>("asNobody");  // opened by the unprivileged user nobody, in a child process
    QTest::addColumn<int>("processGid"); // that child's only group
    QTest::addColumn<int>("deviceGid");  // the device's group; -1: as it is
    QTest::addColumn<int>("mode");       // the device's mode; -1: as it is
    QTest::addColumn<std::int16_t>("status");
    // The text after "port N (device): ". {device} is the device, {folder}
    // the test's folder of devices, {self} and {pid} this test program,
    // {holder} the other program's PID, {user} and {group} the names of the
    // opening user and the device's group.
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const char *setup, bool asNobody, int processGid, int deviceGid, int mode,
                        std::int16_t status, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(setup) << asNobody << processGid << deviceGid << mode << status
                            << QString::fromUtf8(text);
    };
    row("no such device, others present", "devices", false, -1, -1, -1, kNoDevice,
        "no such device; present: {folder}/ttyUSB0 (port 1), {folder}/ttyACM0 (no port number): plug the adapter "
        "in, or choose the port of a present device");
    row("no such device, none present", "no devices", false, -1, -1, -1, kNoDevice,
        "no such device; no serial device is present: plug the adapter in");
    row("busy: open in this program", "open here", false, -1, -1, -1, kBusy,
        "busy: {self} (PID {pid}, this program) has it open: end that program, or choose another port");
    row("busy: locked by another program", "locked", false, -1, -1, -1, kBusy,
        "busy: kv-lock-holder (PID {holder}) has it open: end that program, or choose another port");
    row("busy: in exclusive use by a program of another user", "exclusive", true, kNoGroup, -1, 0666, kBusy,
        "busy: another program has it open, one this user cannot see (as root, 'fuser -v {device}' names it): end "
        "that program, or choose another port");
    row("permission denied: not in the group", "closed", true, kNoGroup, kTtyGroup, 0660, kNoPermission,
        "permission denied: it belongs to the group {group}: add the user to it with 'sudo usermod -aG {group} "
        "{user}', then log out and in again (a new login is needed)");
    // nogroup is nobody's own group in the group database.
    row("permission denied: the login is older than the group", "closed", true, kTtyGroup, kNoGroup, 0660,
        kNoPermission,
        "permission denied: the user {user} is in the group {group} that owns it, but this login began before "
        "that: log out and in again (a new login is needed)");
    row("permission denied: no group may", "closed", true, kNoGroup, kTtyGroup, 0600, kNoPermission,
        "permission denied: its mode 0600 lets its group {group} not read and write it: the administrator must give "
        "it a group that may (a udev rule with MODE=\"0660\"), and the user must be in that group");
}

void TestSerialReader::refusalsSayTheFix()
{
    QFETCH(QString, setup);
    QFETCH(bool, asNobody);
    QFETCH(int, processGid);
    QFETCH(int, deviceGid);
    QFETCH(int, mode);
    QFETCH(std::int16_t, status);
    QFETCH(QString, text);

    PseudoTerminal terminal;
    PseudoTerminal other;
    const std::string device = terminal.slavePath();
    pointAt(device);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString devices = folder.filePath(QStringLiteral("dev"));
    DeviceFolders folders; // the system's, unless the row makes devices of its own
    std::int32_t port = 1;
    QString opened = QString::fromStdString(device);
    if (setup == QLatin1String("devices") || setup == QLatin1String("no devices")) {
        QVERIFY(QDir().mkpath(devices));
        if (setup == QLatin1String("devices")) {
            QCOMPARE(::symlink(device.c_str(), qPrintable(devices + QStringLiteral("/ttyUSB0"))), 0);
            QCOMPARE(::symlink(other.slavePath().c_str(), qPrintable(devices + QStringLiteral("/ttyACM0"))), 0);
        }
        folders = {devices.toStdString(), folder.filePath(QStringLiteral("sys")).toStdString(),
                   folder.filePath(QStringLiteral("by-id")).toStdString()};
        pointAt((devices + QStringLiteral("/ttyUSB{n-1}")).toStdString());
        port = 2;
        opened = devices + QStringLiteral("/ttyUSB1");
    }
    if (deviceGid >= 0 && ::chown(device.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(deviceGid)) != 0)
        QSKIP("the device cannot be given another group here: the test is not run as root");
    if (mode >= 0)
        QCOMPARE(::chmod(device.c_str(), static_cast<mode_t>(mode)), 0);

    std::ostringstream holderLog;
    SerialReader holder(holderLog);
    std::optional<HolderProcess> holderProcess;
    if (setup == QLatin1String("open here"))
        QCOMPARE(holder.initCom(0, 1, 9600), kOk);
    if (setup == QLatin1String("locked") || setup == QLatin1String("exclusive")) {
        holderProcess.emplace(device, setup == QLatin1String("exclusive"));
        QVERIFY(holderProcess->held());
    }

    std::optional<Attempt> attempt;
    if (asNobody) {
        attempt = openTwiceAsNobody(static_cast<gid_t>(processGid), port);
        if (!attempt)
            QSKIP("cannot switch to the unprivileged user nobody here, and as root the device's mode and "
                  "exclusive use do not apply");
    } else {
        attempt = openTwice(port, folders);
    }

    struct stat node {};
    QCOMPARE(::stat(device.c_str(), &node), 0);
    const passwd *nobody = ::getpwuid(kNobody);
    text.replace(QStringLiteral("{device}"), QString::fromStdString(device))
        .replace(QStringLiteral("{folder}"), devices)
        .replace(QStringLiteral("{self}"), processName())
        .replace(QStringLiteral("{pid}"), QString::number(::getpid()))
        .replace(QStringLiteral("{holder}"), QString::number(holderProcess ? holderProcess->pid() : 0))
        .replace(QStringLiteral("{user}"), nobody ? QString::fromUtf8(nobody->pw_name) : QString::number(kNobody))
        .replace(QStringLiteral("{group}"), groupOf(node.st_gid));
    const QString line = QStringLiteral("port %1 (%2): %3").arg(port).arg(opened, text);

    // Every refusal is one line on the log; the cause is given once.
    QCOMPARE(attempt->statuses, (QList<int>{status, status}));
    QCOMPARE(attempt->log, (QStringList{logPrefix() + line, logPrefix() + line}));
    QCOMPARE(attempt->problems, QStringList{line});
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
