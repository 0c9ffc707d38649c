// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <csignal>

#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "PseudoTerminal.h"
#include "RecordFile.h"
#include "StandardCard.h"

using namespace kv;

using namespace std::chrono_literals;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// The environment of every run: the simulated reader without its wire time;
// `extra` adds or replaces variables ("NAME=value").
QProcessEnvironment environment(const QStringList &extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KV718ST_SIM_OPTIONS"), QStringLiteral("latency=off"));
    for (const QString &item : extra)
        env.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    return env;
}

void start(QProcess &process, const QStringList &arguments, const QStringList &extra = {})
{
    process.setProcessEnvironment(environment(extra));
    process.start(QStringLiteral(KV_CLI), arguments);
    QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
}

// The real program, run to its end.
Run run(const QStringList &arguments, const QStringList &extra = {})
{
    QProcess process;
    start(process, arguments, extra);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QStringList simulated(const QStringList &arguments)
{
    return QStringList{QStringLiteral("--reader"), QStringLiteral("simulated")} + arguments;
}

QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

bool isDecimalFormat(int format) { return format <= 2 || format >= 9; }

QStringList lines(const QString &text) { return text.split(u'\n', Qt::SkipEmptyParts); }

// The value of `key=value` in a line of the test's output.
QString valueOf(const QString &line, const QString &key)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("(?:^| )%1=(\\S*)").arg(key)).match(line);
    return match.captured(1);
}

QStringList serial(const QStringList &arguments)
{
    return QStringList{QStringLiteral("--reader"), QStringLiteral("serial"), QStringLiteral("--port"),
                       QStringLiteral("1"), QStringLiteral("--baud"), QStringLiteral("9600")} +
           arguments;
}

// Port numbers mapped into a folder of the test's own: links named
// module<N> to pseudo-terminals that play reader modules.
class ModuleFolder
{
public:
    ModuleFolder() { QVERIFY(m_folder.isValid()); }

    QString pattern() const { return m_folder.filePath(QStringLiteral("module{n}")); }
    QString path(int port) const { return m_folder.filePath(QStringLiteral("module%1").arg(port)); }
    QString variable() const { return QStringLiteral("KV718ST_SERIAL_DEVICE=") + pattern(); }
    // Plugs the terminal in as port `port`; an empty terminal pulls out
    // what is there.
    bool plug(int port, const PseudoTerminal *terminal)
    {
        QFile::remove(path(port));
        return !terminal || ::symlink(terminal->slavePath().c_str(), qPrintable(path(port))) == 0;
    }

private:
    QTemporaryDir m_folder;
};

} // namespace

// The real kv718st-cli: on the simulated reader of the build tree (--reader
// finds it beside the program), on the serial-module reader with a
// pseudo-terminal playing the module, listing serial devices, and without a
// library.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryFormat();
    void exitStatuses_data();
    void exitStatuses();
    void valueBounds_data();
    void valueBounds();
    void libraryMissing_data();
    void libraryMissing();
    void testWithMisreads();
    void testReferencesAndDuration();
    void windowTextsInTheLanguageAsked_data();
    void windowTextsInTheLanguageAsked();
    void interruptEndsCleanly_data();
    void interruptEndsCleanly();
    void outputThatCannotBeWritten_data();
    void outputThatCannotBeWritten();
    void watchesTheSerialModule();
    void listsSerialPorts();
    void refusedOpenSaysTheFix_data();
    void refusedOpenSaysTheFix();
    void testAcrossUnplug();
};

void TestCli::readsEveryFormat()
{
    const QList<QByteArray> replies = standardCardReplies();
    QStringList expectedLines;
    for (int format = 0; format < replies.size(); ++format)
        expectedLines << QStringLiteral("%1\t%2").arg(format).arg(hex(replies[format])) +
                             (isDecimalFormat(format) ? u'\t' + QString::fromLatin1(replies[format]) : QString());

    const Run text = run(simulated({QStringLiteral("read")}));
    QCOMPARE(text.status, 0);
    QCOMPARE(lines(text.out), expectedLines);
    QVERIFY2(text.err.contains(QStringLiteral("kv718st-cli: reader library loaded from ")) &&
                 text.err.contains(QStringLiteral("/readers/simulated/libVeltronanew125K.so")),
             qPrintable(text.err));

    const Run json = run(simulated({QStringLiteral("read"), QStringLiteral("--json")}));
    QCOMPARE(json.status, 0);
    QCOMPARE(lines(json.out).size(), 1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray formats = document.object().value(QStringLiteral("formats")).toArray();
    QCOMPARE(formats.size(), replies.size());
    for (int format = 0; format < replies.size(); ++format) {
        const QJsonObject entry = formats.at(format).toObject();
        QCOMPARE(entry.value(QStringLiteral("format")).toInt(-1), format);
        QCOMPARE(entry.value(QStringLiteral("hex")).toString(), hex(replies[format]));
        QCOMPARE(entry.contains(QStringLiteral("text")), isDecimalFormat(format));
        if (isDecimalFormat(format))
            QCOMPARE(entry.value(QStringLiteral("text")).toString(), QString::fromLatin1(replies[format]));
    }

    // Options after or before the command, one format.
    const Run one = run({QStringLiteral("read"), QStringLiteral("--format"), QStringLiteral("9"),
                         QStringLiteral("--reader=simulated"), QStringLiteral("--port=2")});
    QCOMPARE(one.status, 0);
    QCOMPARE(lines(one.out), QStringList{expectedLines[9]});
}

void TestCli::exitStatuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern standard output must match in full
    QTest::addColumn<QString>("err"); // a pattern standard error must contain

    const auto row = [](const char *name, const QString &arguments, int status, const char *out = "",
                        const char *err = "", const QString &extra = {}) {
        QTest::newRow(name) << QStringList{QStringLiteral("--reader"), QStringLiteral("simulated")} +
                                   arguments.split(u' ', Qt::SkipEmptyParts)
                            << extra.split(u' ', Qt::SkipEmptyParts) << status << QString::fromUtf8(out)
                            << QString::fromUtf8(err);
    };
    // Usage: nothing reaches the reader, nothing is printed on standard output.
    row("no command", {}, 2, "", "no command given");
    row("unknown command", QStringLiteral("scan"), 2, "", "'scan' is not a command");
    row("unknown option", QStringLiteral("read --count 1"), 2, "", "Unknown option 'count'");
    row("another command's option", QStringLiteral("version --format 3"), 2, "", "Unknown option 'format'");
    row("option without value", QStringLiteral("read --format"), 2, "", "Missing value after '--format'");
    row("port with fraction", QStringLiteral("--port 2.5 read"), 2, "", "--port: '2.5' is not a port number");
    row("port 0", QStringLiteral("--port 0 read"), 2, "", "--port: '0' is not");
    row("port in hexadecimal", QStringLiteral("--port 0x2 read"), 2, "", "--port: '0x2' is not");
    row("port too large", QStringLiteral("--port 256 read"), 2, "", "--port: '256' is not");
    row("baud beyond 32 bits", QStringLiteral("read --baud 99999999999"), 2, "", "--baud: '99999999999' is not");
    row("baud with letters", QStringLiteral("read --baud 19200baud"), 2, "", "--baud: '19200baud' is not");
    row("format 11", QStringLiteral("read --format 11"), 2, "", "--format: '11' is not");
    row("watch all formats", QStringLiteral("watch --format all"), 2, "", "--format: 'all' is not");
    row("interval negative", QStringLiteral("watch --interval=-5"), 2, "", "--interval: '-5' is not");
    row("beep 256", QStringLiteral("beep 256"), 2, "", "beep: '256' is not a value from 0 to 255");
    row("beep -1", QStringLiteral("beep -1"), 2, "", "Unknown option '1'");
    row("beep without value", QStringLiteral("beep"), 2, "", "beep needs VALUE");
    row("beep two values", QStringLiteral("beep 1 2"), 2, "", "beep needs VALUE");
    row("led 4", QStringLiteral("led 4"), 2, "", "led: '4' is not 0 to 3");
    row("led unknown text", QStringLiteral("led LED3亮"), 2, "", "led: 'LED3亮' is not");
    row("read with argument", QStringLiteral("read 3"), 2, "", "read takes no argument");
    row("ports with argument", QStringLiteral("ports 1"), 2, "", "ports takes no argument");
    row("unknown reader", QStringLiteral("--reader maker read"), 2, "", "--reader: 'maker' is not");
    row("unknown language", QStringLiteral("--language fr read"), 2, "", "--language: 'fr' is not one of en, zh");
    row("reference too short", QStringLiteral("test --reference 3=11223344"), 2, "", "format 3 needs 10 hexadecimal");
    row("reference not hexadecimal", QStringLiteral("test --reference 7=3344GG"), 2, "", "format 7 needs 6");
    row("reference twice", QStringLiteral("test --reference 7=334455 --reference 7=334455"), 2, "", "given twice");
    row("passes and duration", QStringLiteral("test --passes 1 --duration 1"), 2, "", "cannot be given together");
    row("record in a missing folder", QStringLiteral("test --passes 1 --record /nonexistent/x.csv"), 2, "",
        "the test record /nonexistent/x.csv cannot be written");
    // Answers without the reader.
    row("help of a command", QStringLiteral("read --help"), 0,
        "Usage: kv718st-cli \\[options\\] read\\n[^\\0]*Exit status:[^\\0]*");
    row("version of the program", QStringLiteral("--version"), 0, "kv718st-cli " KV_VERSION "\\n");
    // The reader decides.
    row("version", QStringLiteral("version"), 0, "0123\\n");
    row("version as JSON", QStringLiteral("version --json"), 0, "\\{\"version\":\"0123\"\\}\\n");
    row("beep", QStringLiteral("beep 30"), 0);
    row("LED by code", QStringLiteral("led 3"), 0);
    row("LED by the window's text", QStringLiteral("led LED2亮"), 0);
    row("watch until one card", QStringLiteral("watch --count 1"), 0,
        "\\S+\\tarrived\\t0\\t30353733373835313733\\t0573785173\\n");
    row("port without a reader", QStringLiteral("--port 3 read"), 3, "",
        "port 3 could not be opened at 19200 baud (status 5)");
    row("no card", QStringLiteral("read"), 1, "", "format 0 could not be read (status 3)",
        QStringLiteral("KV718ST_SIM_OPTIONS=card=none"));
    row("no card, JSON without readings", QStringLiteral("read --json --format 3"), 1,
        "\\{\"formats\":\\[\\{\"format\":3,\"status\":3\\}\\]\\}\\n", "format 3 could not be read",
        QStringLiteral("KV718ST_SIM_OPTIONS=card=none"));
    row("no card, no test", QStringLiteral("test --passes 1"), 1, "", "no reference: format 0 could not be read",
        QStringLiteral("KV718ST_SIM_OPTIONS=card=none"));
    row("wrong rate: no answer", QStringLiteral("--baud 9600 version"), 1, "",
        "the reader's version could not be read (status 2)");
    row("wrong rate: no LED", QStringLiteral("--baud 9600 led 0"), 1, "", "the LED could not be switched (status 2)");
}

void TestCli::exitStatuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const Run result = run(arguments, extra);
    QVERIFY2(
        result.status == status,
        qPrintable(
            QStringLiteral("status %1, not %2; standard error:\n%3").arg(result.status).arg(status).arg(result.err)));
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(out)).match(result.out).hasMatch(),
             qPrintable(result.out));
    QVERIFY2(result.err.contains(err), qPrintable(result.err));
    // Usage errors and answers come before any library is loaded.
    if (status == 2 || arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("--version")))
        QVERIFY2(!result.err.contains(QStringLiteral("reader library loaded")), qPrintable(result.err));
}

void TestCli::valueBounds_data()
{
    QTest::addColumn<QStringList>("arguments"); // the command first
    QTest::addColumn<QString>("refusal");       // the usage error; empty: the value is taken

    const auto row = [](const char *arguments, const char *refusal = "") {
        QTest::newRow(arguments) << QString::fromUtf8(arguments).split(u' ') << QString::fromUtf8(refusal);
    };
    // Both ends of every range are taken, and the numbers just outside are
    // refused, naming the range as the help does.
    row("read --port 1");
    row("read --port 255");
    row("read --port 256", "--port: '256' is not a port number from 1 to 255");
    row("read --port 3 --baud 50");
    row("read --port 3 --baud 4000000");
    row("read --port 3 --baud 49", "--baud: '49' is not a baud rate from 50 to 4000000");
    row("read --port 3 --baud 4000001", "--baud: '4000001' is not a baud rate from 50 to 4000000");
    row("read --port 3 --format 0");
    row("read --port 3 --format 10");
    row("read --port 3 --format all");
    row("read --port 3 --format 11", "--format: '11' is not a format from 0 to 10, or all");
    row("watch --port 3 --format 10");
    row("watch --port 3 --format 11", "--format: '11' is not a format from 0 to 10");
    row("watch --port 3 --interval 0");
    row("watch --port 3 --interval 3600000");
    row("watch --port 3 --interval 3600001", "--interval: '3600001' is not a number of milliseconds from 0 to 3600000");
    row("watch --port 3 --count 1");
    row("watch --port 3 --count 0", "--count: '0' is not a number of cards from 1 on");
    row("test --port 3 --passes 1");
    row("test --port 3 --passes 0", "--passes: '0' is not a number of passes from 1 on");
    row("test --port 3 --duration 1");
    row("test --port 3 --duration 0", "--duration: '0' is not a number of seconds from 1 on");
    row("beep --port 3 0");
    row("beep --port 3 255");
    row("beep --port 3 256", "beep: '256' is not a value from 0 to 255");
    row("led --port 3 0");
    row("led --port 3 3");
    row("led --port 3 4", "led: '4' is not 0 to 3 or one of LED1灭, LED1亮, LED2灭, LED2亮");
}

void TestCli::valueBounds()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);

    const Run result = run(simulated(arguments));
    QCOMPARE(result.out, QString());
    if (!refusal.isEmpty()) {
        QCOMPARE(result.status, 2);
        QCOMPARE(result.err,
                 QStringLiteral("kv718st-cli: %1\nTry 'kv718st-cli %2 --help'.\n").arg(refusal, arguments.front()));
        return;
    }
    // Taken: the program goes on to the port, where the simulated reader has
    // none but port 2; the message shows the port and rate it was given.
    const QString port = arguments[arguments.indexOf(QStringLiteral("--port")) + 1];
    const qsizetype baud = arguments.indexOf(QStringLiteral("--baud"));
    QCOMPARE(result.status, 3);
    QVERIFY2(result.err.contains(QStringLiteral("port %1 could not be opened at %2 baud")
                                     .arg(port, baud < 0 ? QStringLiteral("19200") : arguments[baud + 1])),
             qPrintable(result.err));
}

void TestCli::libraryMissing_data()
{
    QTest::addColumn<QString>("library"); // what the folder on the loader path holds as the reader library
    QTest::addColumn<QStringList>("language");
    QTest::addColumn<QString>("missing"); // the window's text, the missing part included
    const QString chinese = QStringLiteral("找不到读卡器库或其中的函数：");
    QTest::newRow("no library") << QString() << QStringList() << chinese + QStringLiteral("libVeltronanew125K.so");
    // A library without the six functions.
    QTest::newRow("no function") << QStringLiteral(KV_OTHER_LIBRARY) << QStringList()
                                 << chinese + QStringLiteral("rf_init_com_125K");
    QTest::newRow("no library, English")
        << QString() << QStringList{QStringLiteral("--language"), QStringLiteral("en")}
        << QStringLiteral("The reader library, or a function in it, cannot be found: libVeltronanew125K.so");
}

void TestCli::libraryMissing()
{
    QFETCH(QString, library);
    QFETCH(QStringList, language);
    QFETCH(QString, missing);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!library.isEmpty())
        QVERIFY(QFile::link(library, folder.filePath(QStringLiteral("libVeltronanew125K.so"))));
    for (const QString &command : {QStringLiteral("read"), QStringLiteral("watch"), QStringLiteral("test")}) {
        const Run result = run(language + QStringList{command}, {QStringLiteral("LD_LIBRARY_PATH=") + folder.path()});
        if (library.isEmpty() && result.err.contains(QStringLiteral("reader library loaded from")))
            QSKIP("a reader library is installed where the loader looks");
        QCOMPARE(result.status, 4);
        QCOMPARE(result.out, QString());
        // The window's text, once.
        QCOMPARE(result.err.count(missing), 1);
        QVERIFY2(result.err.contains(QStringLiteral("--reader simulated")), qPrintable(result.err));
    }
}

void TestCli::testWithMisreads()
{
    const TemporaryRecord recordFile;
    const QStringList arguments = simulated({QStringLiteral("test"), QStringLiteral("--passes"), QStringLiteral("30"),
                                             QStringLiteral("--record"), recordFile.path});
    // Read-all makes 11 reads, so from the 12th on the references are perfect.
    const QStringList faults{QStringLiteral("KV718ST_SIM_OPTIONS=latency=off,misread=0.03,faults_from=12,seed=5")};
    const Run first = run(arguments, faults);
    const Run second = run(arguments, faults);

    QCOMPARE(first.status, 1);
    const QStringList out = lines(first.out);
    // The same seed gives the same faults; only the running time may differ.
    QCOMPARE(lines(second.out).mid(0, out.size() - 1), out.mid(0, out.size() - 1));
    QStringList references;
    for (const QString &line : out)
        if (line.startsWith(QStringLiteral("reference ")))
            references << valueOf(line, QStringLiteral("hex"));
    const QList<QByteArray> replies = standardCardReplies();
    QCOMPARE(references.size(), replies.size());
    for (int format = 0; format < replies.size(); ++format)
        QCOMPARE(references[format], hex(replies[format]));

    const QString totals = out.last();
    QVERIFY2(totals.startsWith(QStringLiteral("totals ")), qPrintable(totals));
    QCOMPARE(valueOf(totals, QStringLiteral("passes")), QStringLiteral("30"));
    QCOMPARE(valueOf(totals, QStringLiteral("steps")), QStringLiteral("330"));
    const int failures = valueOf(totals, QStringLiteral("failures")).toInt();
    QVERIFY2(failures > 0, qPrintable(totals));
    const QStringList failed = out.filter(QRegularExpression(QStringLiteral("^fail ")));
    QCOMPARE(failed.size(), failures);

    // The record: the header once, and per run a start line, the failed steps
    // as printed, and the totals as printed.
    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QVERIFY(record.byteOrderMark());
    QCOMPARE(record.header().mid(0, 2), (QStringList{QStringLiteral("time"), QStringLiteral("event")}));
    QCOMPARE(record.lines().size(), 2 * (failures + 2));
    for (int runIndex = 0; runIndex < 2; ++runIndex) {
        const QList<RecordFile::Line> part = record.lines().mid(runIndex * (failures + 2), failures + 2);
        QCOMPARE(part.front()["event"], QStringLiteral("start"));
        QCOMPARE(part.front()["status"], QStringLiteral("串口打开成功！"));
        // The library as loaded, the port, the rate and the version.
        QVERIFY2(part.front()["library"].endsWith(QStringLiteral("/simulated/libVeltronanew125K.so")),
                 qPrintable(part.front()["library"]));
        QCOMPARE(part.front()["port"], QStringLiteral("2"));
        QCOMPARE(part.front()["baud"], QStringLiteral("19200"));
        QCOMPARE(part.front()["version"], QStringLiteral(KV_VERSION));
        for (int i = 0; i < failures; ++i) {
            const RecordFile::Line &fields = part[i + 1];
            const QString &line = failed[i];
            QCOMPARE(fields["event"], QStringLiteral("fail"));
            for (const char *column : {"pass", "step", "reference", "reading"})
                QCOMPARE(fields[column], valueOf(line, QString::fromLatin1(column)));
            // A misread: the read succeeded with another card's number.
            QCOMPARE(fields["reference"], references[fields["step"].toInt()]);
            QCOMPARE(fields["reading"].size(), fields["reference"].size());
            QVERIFY(fields["reading"] != fields["reference"]);
            QCOMPARE(fields["status"], QStringLiteral("寻卡成功！"));
            QCOMPARE(fields["kind"], QStringLiteral("wrong_reading"));
        }
        const RecordFile::Line &stop = part.last();
        QCOMPARE(stop["event"], QStringLiteral("stop"));
        for (const char *column : {"passes", "steps", "failures", "failure_rate"})
            QCOMPARE(stop[column], valueOf(totals, QString::fromLatin1(column)));
        // Every failure a misread, counted at its step.
        QCOMPARE(stop["no_reading"], QStringLiteral("0"));
        QCOMPARE(stop["wrong_reading"], QString::number(failures));
        QCOMPARE(stop["port_not_open"], QStringLiteral("0"));
        QCOMPARE(stop["failures_by_step"], valueOf(totals, QStringLiteral("failures_by_step")));
        int counted = 0;
        for (const QString &count : stop["failures_by_step"].split(u','))
            counted += count.toInt();
        QCOMPARE(counted, failures);
    }
}

void TestCli::testReferencesAndDuration()
{
    // A reference given wrong fails its step in every pass; the others are
    // read first.
    const Run wrong = run(simulated({QStringLiteral("test"), QStringLiteral("--passes"), QStringLiteral("3"),
                                     QStringLiteral("--reference"), QStringLiteral("5=22334456")}));
    QCOMPARE(wrong.status, 1);
    QCOMPARE(lines(wrong.out).filter(QStringLiteral("fail ")),
             (QStringList{QStringLiteral("fail pass=1 step=5 reference=22334456 reading=22334455 kind=wrong_reading"),
                          QStringLiteral("fail pass=2 step=5 reference=22334456 reading=22334455 kind=wrong_reading"),
                          QStringLiteral("fail pass=3 step=5 reference=22334456 reading=22334455 kind=wrong_reading")}));
    // 3 of 33 steps: 9.0909…%, three significant digits.
    QVERIFY2(wrong.out.contains(QStringLiteral("totals passes=3 steps=33 failures=3 failure_rate=9.09% ")),
             qPrintable(wrong.out));
    QVERIFY(wrong.out.contains(QStringLiteral("reference format=5 hex=22334456\n")));
    QVERIFY(wrong.out.contains(QStringLiteral("reference format=6 hex=55443322\n")));

    // Every reference given, in either case; a run limited by time.
    QStringList arguments = simulated({QStringLiteral("test"), QStringLiteral("--duration"), QStringLiteral("1")});
    const QList<QByteArray> replies = standardCardReplies();
    for (int format = 0; format < replies.size(); ++format)
        arguments << QStringLiteral("--reference")
                  << QStringLiteral("%1=%2").arg(format).arg(hex(replies[format]).toLower());
    const Run timed = run(arguments, {QStringLiteral("KV718ST_SIM_OPTIONS=latency=off,card=none")});
    // No card: every step fails, which the given references show.
    QCOMPARE(timed.status, 1);
    const QString totals = lines(timed.out).last();
    QVERIFY2(valueOf(totals, QStringLiteral("passes")).toInt() >= 1, qPrintable(totals));
    QCOMPARE(valueOf(totals, QStringLiteral("failures")), valueOf(totals, QStringLiteral("steps")));
    QVERIFY(timed.out.contains(QStringLiteral("fail pass=1 step=3 reference=1122334455 reading= kind=no_reading\n")));
    QCOMPARE(valueOf(totals, QStringLiteral("no_reading")), valueOf(totals, QStringLiteral("steps")));
    QCOMPARE(valueOf(totals, QStringLiteral("wrong_reading")), QStringLiteral("0"));
}

// The record's status column holds the window's status texts, in the
// language --language asks for; the program's own output stays English, and
// the window's variable KV718ST_LANGUAGE does not change it.
void TestCli::windowTextsInTheLanguageAsked_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("variable"); // KV718ST_LANGUAGE
    QTest::addColumn<QStringList>("statuses"); // the start's, a misread step's, a failed read's

    const QStringList chinese{QStringLiteral("串口打开成功！"), QStringLiteral("寻卡成功！"),
                              QStringLiteral("寻卡操作失败！")};
    const QStringList english{QStringLiteral("Port opened."), QStringLiteral("Card read."),
                              QStringLiteral("Card read failed.")};
    const QStringList en{QStringLiteral("--language"), QStringLiteral("en")};
    QTest::newRow("no option") << QStringList() << QString() << chinese;
    QTest::newRow("--language zh") << QStringList{QStringLiteral("--language"), QStringLiteral("zh")} << QString()
                                   << chinese;
    QTest::newRow("--language en") << en << QString() << english;
    QTest::newRow("--language=en after the command") << QStringList{QStringLiteral("--language=en")} << QString()
                                                     << english;
    QTest::newRow("KV718ST_LANGUAGE=en alone") << QStringList() << QStringLiteral("en") << chinese;
    QTest::newRow("--language en, KV718ST_LANGUAGE=zh") << en << QStringLiteral("zh") << english;
}

void TestCli::windowTextsInTheLanguageAsked()
{
    QFETCH(QStringList, options);
    QFETCH(QString, variable);
    QFETCH(QStringList, statuses);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString recordPath = folder.filePath(QStringLiteral("record.csv"));
    // Step 5's reference is wrong: a good read fails it. Some reads fail.
    const Run result =
        run(simulated({QStringLiteral("test"), QStringLiteral("--passes"), QStringLiteral("4"), QStringLiteral("--reference"),
                       QStringLiteral("5=22334456"), QStringLiteral("--record"), recordPath}) +
                options,
            {QStringLiteral("KV718ST_SIM_OPTIONS=latency=off,fail=0.2,faults_from=12,seed=3"),
             QStringLiteral("KV718ST_LANGUAGE=") + variable, QStringLiteral("LANG=en_US.UTF-8")});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.out.contains(QStringLiteral("fail pass=1 step=5 reference=22334456")), qPrintable(result.out));

    QFile file(recordPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList starts;
    QSet<QString> failures;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u',');
        if (fields.value(1) == QLatin1String("start"))
            starts << fields.value(6);
        else if (fields.value(1) == QLatin1String("fail"))
            failures << fields.value(6);
    }
    QCOMPARE(starts, QStringList{statuses[0]});
    QCOMPARE(failures, (QSet<QString>{statuses[1], statuses[2]}));
}

void TestCli::interruptEndsCleanly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("last"); // the pattern of the last line of standard output
    const QString watchLine = QStringLiteral("\\S+\\tarrived\\t3\\t1122334455");
    const QStringList watch{QStringLiteral("watch"), QStringLiteral("--format"), QStringLiteral("3"),
                            QStringLiteral("--interval"), QStringLiteral("3600000")};
    QTest::newRow("watch, SIGINT") << watch << SIGINT << watchLine;
    QTest::newRow("watch, SIGTERM") << watch << SIGTERM << watchLine;
    // The test ends after the step it is in: its totals count the passes
    // that ended, and the record ends with them.
    const QString totals = QStringLiteral("totals passes=\\d+ steps=\\d+ failures=0 failure_rate=0% elapsed=0:00:0\\d "
                                          "no_reading=0 wrong_reading=0 port_not_open=0 first_failure=none "
                                          "failures_by_step=0(,0){10}");
    QTest::newRow("test, SIGINT") << QStringList{QStringLiteral("test")} << SIGINT << totals;
    QTest::newRow("test, SIGTERM") << QStringList{QStringLiteral("test")} << SIGTERM << totals;
}

void TestCli::interruptEndsCleanly()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(QString, last);
    const TemporaryRecord recordFile;
    const bool test = arguments.front() == QStringLiteral("test");
    if (test)
        arguments << QStringLiteral("--record") << recordFile.path;
    QProcess process;
    start(process, simulated(arguments));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine() || process.state() != QProcess::Running, 10000);
    // The watch waits an hour before its next read: the signal ends the wait.
    QTest::qWait(300);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == 0, qPrintable(err));
    const QStringList out = lines(QString::fromUtf8(process.readAllStandardOutput()));
    QVERIFY(!out.isEmpty());
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(last)).match(out.last()).hasMatch(),
             qPrintable(out.last()));
    QVERIFY2(!err.contains(QStringLiteral("could not be closed")), qPrintable(err));
    if (!test)
        return;
    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QVERIFY(!record.lines().isEmpty());
    const RecordFile::Line stop = record.lines().last();
    QCOMPARE(stop["event"], QStringLiteral("stop"));
    for (const char *column : {"passes", "steps", "failures"})
        QCOMPARE(stop[column], valueOf(out.last(), QString::fromLatin1(column)));
    QVERIFY(stop["steps"].toInt() > 0);
}

void TestCli::outputThatCannotBeWritten_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("closedPipe"); // else a full device
    QTest::addColumn<int>("status");
    // A failed write is a failure (status 1), but for a watch whose reader
    // went away, which ends as an interrupted one does; SIGPIPE ends none.
    const QStringList read{QStringLiteral("read")};
    const QStringList test{QStringLiteral("test"), QStringLiteral("--passes"), QStringLiteral("2")};
    const QStringList watch{QStringLiteral("watch"), QStringLiteral("--count"), QStringLiteral("3")};
    QTest::newRow("read, closed pipe") << read << true << 1;
    QTest::newRow("read, full device") << read << false << 1;
    QTest::newRow("test, closed pipe") << test << true << 1;
    QTest::newRow("test, full device") << test << false << 1;
    QTest::newRow("watch, closed pipe") << watch << true << 0;
    QTest::newRow("watch, full device") << watch << false << 1;
}

void TestCli::outputThatCannotBeWritten()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, closedPipe);
    QFETCH(int, status);
    QProcess process;
    if (closedPipe) {
        // Standard output is a pipe whose reading end is closed before the
        // program starts: every write fails with EPIPE.
        process.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) != 0 || ::dup2(ends[1], STDOUT_FILENO) < 0)
                ::_exit(125);
            ::close(ends[0]);
            ::close(ends[1]);
        });
    } else {
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    }
    start(process, simulated(arguments));
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == status, qPrintable(QStringLiteral("status %1: %2").arg(process.exitCode()).arg(err)));
    // Only a write that failed otherwise than on a closed pipe is told.
    QCOMPARE(err.contains(QStringLiteral("standard output cannot be written")), !closedPipe);
    QVERIFY2(!err.contains(QStringLiteral("could not be closed")), qPrintable(err));
}

// watch on the serial-module reader: the module sends card A, then card B at
// once, falls silent, sends A again and falls silent; SIGTERM then ends the
// watch, which closes the port.
void TestCli::watchesTheSerialModule()
{
    PseudoTerminal terminal;
    const QByteArray cardA = "1122334455";
    const QByteArray cardB = "0A0B0C0D0E";
    std::vector<Piece> script;
    const auto present = [&script](const QByteArray &card) {
        for (int i = 0; i < 16; ++i)
            script.push_back({moduleFrame(card), 50ms});
    };
    present(cardA);
    present(cardB);
    script.push_back({{}, 1500ms});
    present(cardA);

    QProcess process;
    process.setProcessEnvironment(
        environment({QStringLiteral("KV718ST_SERIAL_DEVICE=") + QString::fromStdString(terminal.slavePath())}));
    process.start(QStringLiteral(KV_CLI),
                  {QStringLiteral("watch"), QStringLiteral("--json"), QStringLiteral("--reader"),
                   QStringLiteral("serial"), QStringLiteral("--port"), QStringLiteral("1"), QStringLiteral("--baud"),
                   QStringLiteral("9600"), QStringLiteral("--format"), QStringLiteral("3"),
                   QStringLiteral("--interval"), QStringLiteral("20")});
    QVERIFY(process.waitForStarted());
    // The module starts once the port is open: the library said where it
    // was loaded from, which it does at the open.
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("reader library loaded from"), 10000);
    const ModuleEmulator module(terminal, std::move(script), false);

    QList<QJsonObject> events;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            while (process.canReadLine())
                events << QJsonDocument::fromJson(process.readLine()).object();
            return events.size() >= 5 || process.state() != QProcess::Running;
        }(),
        20000);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    QStringList seen;
    for (const QJsonObject &event : std::as_const(events)) {
        QVERIFY(QDateTime::fromString(event.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
        seen << event.value(QStringLiteral("event")).toString() + u' ' + event.value(QStringLiteral("hex")).toString();
    }
    QCOMPARE(seen,
             (QStringList{QStringLiteral("arrived 1122334455"), QStringLiteral("changed 0A0B0C0D0E"),
                          QStringLiteral("left "), QStringLiteral("arrived 1122334455"), QStringLiteral("left ")}));
    err += process.readAllStandardError();
    QVERIFY2(!err.contains("could not be closed"), err.constData());
}

// ports lists the system's serial devices and those the mapping names, with
// the port number that opens each.
void TestCli::listsSerialPorts()
{
    PseudoTerminal first;
    PseudoTerminal third;
    ModuleFolder modules;
    QVERIFY(modules.plug(1, &first));
    QVERIFY(modules.plug(3, &third));
    const QStringList extra{modules.variable()};

    const Run text = run({QStringLiteral("ports")}, extra);
    QCOMPARE(text.status, 0);
    QVERIFY2(!text.err.contains(QStringLiteral("reader library")), qPrintable(text.err));
    const Run json = run({QStringLiteral("ports"), QStringLiteral("--json")}, extra);
    QCOMPARE(json.status, 0);
    QCOMPARE(lines(json.out).size(), 1);
    const QJsonObject listing = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(listing.value(QStringLiteral("mapping")).toString(), modules.pattern());
    const QJsonArray devices = listing.value(QStringLiteral("devices")).toArray();

    // The two modules first, by port number; the machine's own devices after
    // them, which no port number of this mapping opens.
    const QStringList listed = lines(text.out);
    QCOMPARE(listed.size(), devices.size());
    QVERIFY(listed.size() >= 2);
    const QString group = QFileInfo(QString::fromStdString(first.slavePath())).group();
    QCOMPARE(listed.mid(0, 2),
             (QStringList{QStringLiteral("port=1 device=%1 by_id= group=%2 access=yes").arg(modules.path(1), group),
                          QStringLiteral("port=3 device=%1 by_id= group=%2 access=yes").arg(modules.path(3), group)}));
    const QRegularExpression machine(
        QStringLiteral("^port=none device=/dev/tty(USB|ACM|S)\\d+ by_id=\\S* group=\\S+ access=(yes|no)$"));
    for (const QString &line : listed.mid(2))
        QVERIFY2(machine.match(line).hasMatch(), qPrintable(line));
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const QJsonObject device = devices.at(i).toObject();
        const QJsonValue port = device.value(QStringLiteral("port"));
        const QJsonValue byId = device.value(QStringLiteral("by_id"));
        QCOMPARE(QStringLiteral("port=%1 device=%2 by_id=%3 group=%4 access=%5")
                     .arg(port.isNull() ? QStringLiteral("none") : QString::number(port.toInt()),
                          device.value(QStringLiteral("device")).toString(), byId.isNull() ? QString() : byId.toString(),
                          device.value(QStringLiteral("group")).toString(),
                          device.value(QStringLiteral("access")).toBool() ? QStringLiteral("yes") : QStringLiteral("no")),
                 listed[i]);
    }
}

void TestCli::refusedOpenSaysTheFix_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("locked"); // this test holds a lock on the device
    QTest::addColumn<QString>("text"); // {module1} is port 1's device, {pid} this test's PID
    QTest::newRow("no such device") << 2 << false
                                    << QStringLiteral("port 2 ({module2}): no such device; present: {module1} (port 1)");
    QTest::newRow("busy") << 1 << true
                          << QStringLiteral("port 1 ({module1}): busy: test_cli (PID {pid}) has it open: end that "
                                            "program, or choose another port");
}

// A refused open reaches the user of the console program as the library's
// one line with the fix, once, and the status says the port could not be
// opened.
void TestCli::refusedOpenSaysTheFix()
{
    QFETCH(int, port);
    QFETCH(bool, locked);
    QFETCH(QString, text);
    PseudoTerminal terminal;
    ModuleFolder modules;
    QVERIFY(modules.plug(1, &terminal));
    const int lock = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(lock >= 0);
    if (locked)
        QCOMPARE(::flock(lock, LOCK_EX | LOCK_NB), 0);

    const Run result = run({QStringLiteral("--reader"), QStringLiteral("serial"), QStringLiteral("--port"),
                            QString::number(port), QStringLiteral("read")},
                           {modules.variable()});
    ::close(lock);
    text.replace(QStringLiteral("{module1}"), modules.path(1))
        .replace(QStringLiteral("{module2}"), modules.path(2))
        .replace(QStringLiteral("{pid}"), QString::number(::getpid()));
    QCOMPARE(result.status, 3);
    QCOMPARE(result.out, QString());
    QVERIFY2(result.err.contains(QStringLiteral("serial reader: ") + text), qPrintable(result.err));
    QVERIFY2(result.err.count(text) == 1, qPrintable(result.err));
    QVERIFY2(result.err.contains(QStringLiteral("kv718st-cli: port %1 could not be opened at 19200 baud").arg(port)),
             qPrintable(result.err));
}

// test on the serial-module reader while the adapter is pulled out and
// plugged in again: steps fail while it is away, and none once it is back.
void TestCli::testAcrossUnplug()
{
    using Clock = std::chrono::steady_clock;
    auto first = std::make_unique<PseudoTerminal>();
    ModuleFolder modules;
    QVERIFY(modules.plug(1, first.get()));
    auto module = std::make_unique<ModuleEmulator>(*first, std::vector<Piece>{{moduleFrame("1122334455"), 20ms}});

    const TemporaryRecord recordFile;
    QProcess process;
    start(process,
          serial({QStringLiteral("test"), QStringLiteral("--passes"), QStringLiteral("20"), QStringLiteral("--record"),
                  recordFile.path}),
          {modules.variable()});
    std::optional<Clock::time_point> pulledOut;
    std::optional<Clock::time_point> pluggedIn;
    std::unique_ptr<PseudoTerminal> second;
    QList<QPair<Clock::time_point, QString>> out; // each line when it came
    const Clock::time_point deadline = Clock::now() + 60s;
    while (process.state() != QProcess::NotRunning && Clock::now() < deadline) {
        process.waitForReadyRead(10);
        while (process.canReadLine())
            out.append({Clock::now(), QString::fromUtf8(process.readLine()).trimmed()});
        const bool referencesTaken =
            !out.isEmpty() && out.last().second.startsWith(QStringLiteral("reference format=10 "));
        if (!pulledOut && referencesTaken)
            pulledOut = Clock::now() + 600ms;
        if (pulledOut && !pluggedIn && first && Clock::now() >= *pulledOut) {
            module.reset();
            first->hangUp();
            QVERIFY(modules.plug(1, nullptr));
            first.reset();
            pluggedIn = Clock::now() + 800ms;
        }
        if (pluggedIn && !second && Clock::now() >= *pluggedIn) {
            second = std::make_unique<PseudoTerminal>();
            module = std::make_unique<ModuleEmulator>(*second, std::vector<Piece>{{moduleFrame("1122334455"), 20ms}});
            QVERIFY(modules.plug(1, second.get()));
        }
    }
    QCOMPARE(process.state(), QProcess::NotRunning);
    const Clock::time_point ended = Clock::now();
    while (process.canReadLine())
        out.append({ended, QString::fromUtf8(process.readLine()).trimmed()});
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(second, "the test ended before the adapter was plugged in again");
    
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(!out.isEmpty());
    QCOMPARE(valueOf(out.last().second, QStringLiteral("passes")), QStringLiteral("20"));
    int whileAway = 0;
    for (const auto &[when, line] : std::as_const(out)) {
        if (!line.startsWith(QStringLiteral("fail ")))
            continue;
        QVERIFY2(when >= *pulledOut, qPrintable(QStringLiteral("a step failed before the adapter was pulled out: ") + line));
        QVERIFY2(when < *pluggedIn + 2s, qPrintable(QStringLiteral("a step failed after the adapter was back: ") + line));
        // While it is away the library has said the reader was lost: the
        // step found no port.
        if (when < *pluggedIn)
            QCOMPARE(valueOf(line, QStringLiteral("kind")), QStringLiteral("port_not_open"));
        whileAway += when < *pluggedIn ? 1 : 0;
    }
    QVERIFY(valueOf(out.last().second, QStringLiteral("port_not_open")).toInt() >= whileAway);
    QVERIFY2(whileAway > 0, "no step failed while the adapter was away");
    QVERIFY2(ended - *pluggedIn > 2s, "the test ended within 2 s of the adapter's return: too few passes ran after it "
                                      "to show that steps pass again");
    // The loss and the return, each said once by the library.
    const QString device = QStringLiteral("serial reader: port 1 (%1): ").arg(modules.path(1));
    QCOMPARE(err.count(device + QStringLiteral("the reader was lost")), 1);
    QCOMPARE(err.count(device + QStringLiteral("the reader is back")), 1);
    // The record marks both, between the failures they explain.
    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QStringList events;
    for (const RecordFile::Line &line : record.lines())
        if (events.isEmpty() || events.last() != line["event"])
            events << line["event"];
    QCOMPARE(events.mid(0, 4), (QStringList{QStringLiteral("start"), QStringLiteral("lost"), QStringLiteral("fail"),
                                            QStringLiteral("back")}));
    QCOMPARE(events.last(), QStringLiteral("stop"));
    QCOMPARE(record.events(QStringLiteral("lost")).size(), 1);
    QCOMPARE(record.events(QStringLiteral("back")).size(), 1);
    QVERIFY(record.events(QStringLiteral("lost"))[0]["status"].startsWith(device.mid(15)));
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
