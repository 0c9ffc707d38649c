// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <sstream>

#include "SimulatedReader.h"

using namespace kv::sim;

namespace {

// One call of a scripted sequence and the status it must return.
struct Step
{
    enum Op { Open, Close, Read, Model, Light, Beep } op;
    int arg = 0;   // Open: port; Read: format; Light: code; Beep: value
    int icdev = 0; // Open: baud
    std::int16_t status = kOk;
};

Step openStep(int port, int baud, std::int16_t status) { return {Step::Open, port, baud, status}; }
Step closeStep(std::int16_t status) { return {Step::Close, 0, 0, status}; }
Step readStep(int format, std::int16_t status, int icdev = 0) { return {Step::Read, format, icdev, status}; }
Step modelStep(std::int16_t status, int icdev = 0) { return {Step::Model, 0, icdev, status}; }
Step lightStep(int code, std::int16_t status) { return {Step::Light, code, 0, status}; }
Step beepStep(int value, std::int16_t status) { return {Step::Beep, value, 0, status}; }

std::int16_t run(SimulatedReader &reader, const Step &step)
{
    std::array<std::uint8_t, kv::kMaxCardReplySize> buffer{};
    std::int32_t aux = 0;
    std::uint8_t modelAux = 0;
    const auto arg = static_cast<std::uint8_t>(step.arg);
    switch (step.op) {
    case Step::Open: return reader.initCom(0, step.arg, step.icdev);
    case Step::Close: return reader.closePort();
    case Step::Read: return reader.request(step.icdev, arg, buffer.data(), &aux);
    case Step::Model: return reader.getModel(step.icdev, buffer.data(), &modelAux);
    case Step::Light: return reader.light(0, arg);
    case Step::Beep: return reader.beep(0, arg);
    }
    return -1;
}

SimulatedOptions parsed(const QByteArray &text)
{
    std::ostringstream diagnostics;
    const SimulatedOptions result = parseOptions(text.toStdString(), diagnostics);
    if (!diagnostics.str().empty())
        qWarning("unexpected option report: %s", diagnostics.str().c_str());
    return result;
}

QString described(const SimulatedOptions &options)
{
    const QByteArray card = options.card ? QByteArray(reinterpret_cast<const char *>(options.card->data()), 5).toHex()
                                         : QByteArray("none");
    return QStringLiteral("card=%1,port=%2,baud=%3,latency=%4")
        .arg(QLatin1StringView(card))
        .arg(options.port)
        .arg(options.baud)
        .arg(options.latency ? QStringLiteral("on") : QStringLiteral("off"));
}


} // namespace

Q_DECLARE_METATYPE(Step)

class TestSimulatedReader : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }
    void parsesOptions_data();
    void parsesOptions();
    void followsScript_data();
    void followsScript();
    void failedCallsWriteNothing();
    void waitsForFrameTime_data();
    void waitsForFrameTime();
    void latencyTakesAtLeastTheWireTime();
};

void TestSimulatedReader::parsesOptions_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("reported");

    // Expected lines are separated by ';', the fragments each must contain by '|'.
    auto row = [](const char *name, const char *text, const char *options, const char *reported = "") {
        QTest::newRow(name) << QByteArray(text) << QString::fromLatin1(options)
                            << QString::fromLatin1(reported).split(u';', Qt::SkipEmptyParts);
    };
    const char *const defaults = "card=1122334455,port=2,baud=19200,latency=on";
    row("empty: defaults", "", defaults);
    row("every key", "card=0A0B0C0D0E,port=3,baud=9600,latency=off", "card=0a0b0c0d0e,port=3,baud=9600,latency=off");
    row("blanks, empty items", " card = aabbccddee , ,latency=off,", "card=aabbccddee,port=2,baud=19200,latency=off");
    row("no card, later item wins", "card=none,baud=9600,baud=38400", "card=none,port=2,baud=38400,latency=on");
    row("unknown key", "colour=red", defaults, "'colour=red'|unknown key|card port baud latency");
    row("no equals sign", "latency", defaults, "'latency'|key=value");
    row("baud with a unit", "baud=9600bps", defaults, "'baud=9600bps'|keeping baud=19200");
    row("negative baud", "baud=-9600", defaults, "'baud=-9600'|keeping baud=19200");
    row("port zero", "port=0", defaults, "'port=0'|keeping port=2");
    row("port beyond 32 bits", "port=99999999999", defaults, "'port=99999999999'|keeping port=2");
    row("card too short", "card=11223344", defaults, "'card=11223344'|keeping card=1122334455");
    row("card too long", "card=112233445566", defaults, "'card=112233445566'|keeping card=1122334455");
    row("card not hex", "card=11223344GG", defaults, "'card=11223344GG'|keeping card=1122334455");
    row("latency yes", "latency=yes", defaults, "'latency=yes'|keeping latency=on");
    row("kept value is the earlier item", "card=none,port=3,baud=x,card=1", "card=none,port=3,baud=19200,latency=on",
        "'baud=x'|keeping baud=19200;'card=1'|keeping card=none");
}

void TestSimulatedReader::parsesOptions()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, options);
    QFETCH(QStringList, reported);

    std::ostringstream diagnostics;
    QCOMPARE(described(parseOptions(text.toStdString(), diagnostics)), options);

    const QString report = QString::fromStdString(diagnostics.str());
    QVERIFY(report.isEmpty() || report.endsWith(u'\n'));
    const QStringList lines = report.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), reported.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        for (const QString &fragment : reported[i].split(u'|'))
            QVERIFY2(lines[i].contains(fragment), qPrintable(lines[i]));
    }
}

void TestSimulatedReader::followsScript_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QList<Step>>("steps");

    const QByteArray fast = "latency=off";
    QTest::newRow("port 2 at 19200 works")
        << fast << QList{openStep(2, 19200, kOk), readStep(0, kOk), modelStep(kOk), lightStep(1, kOk),
                         beepStep(9, kOk), closeStep(kOk)};
    QTest::newRow("device calls before open fail")
        << fast << QList{readStep(0, kPortClosed), modelStep(kPortClosed), lightStep(1, kPortClosed),
                         beepStep(1, kPortClosed)};
    QTest::newRow("port 5 does not open") << fast << QList{openStep(5, 19200, kNoSuchPort), readStep(0, kPortClosed)};
    QTest::newRow("wrong rate opens, nothing answers")
        << fast << QList{openStep(2, 9600, kOk), readStep(0, kNoAnswer), modelStep(kNoAnswer), lightStep(1, kNoAnswer),
                         beepStep(1, kNoAnswer), closeStep(kOk)};
    QTest::newRow("close without open fails") << fast << QList{closeStep(kPortClosed)};
    QTest::newRow("closed after close")
        << fast << QList{openStep(2, 19200, kOk), closeStep(kOk), readStep(0, kPortClosed), closeStep(kPortClosed)};
    QTest::newRow("reopen at the right rate")
        << fast << QList{openStep(2, 9600, kOk), openStep(2, 19200, kOk), readStep(0, kOk)};
    QTest::newRow("failed reopen leaves nothing open")
        << fast << QList{openStep(2, 19200, kOk), openStep(5, 19200, kNoSuchPort), readStep(0, kPortClosed)};
    QTest::newRow("only address 0 answers")
        << fast << QList{openStep(2, 19200, kOk), readStep(0, kNoAnswer, 1), modelStep(kNoAnswer, 7)};
    QTest::newRow("argument limits")
        << fast << QList{openStep(2, 0, kBadArgument), openStep(2, 19200, kOk), readStep(10, kOk),
                         readStep(11, kBadArgument), lightStep(3, kOk), lightStep(4, kBadArgument), beepStep(0, kOk),
                         beepStep(255, kOk)};
    QTest::newRow("no card: reads fail, the rest works")
        << QByteArray("card=none,latency=off") << QList{openStep(2, 19200, kOk), readStep(3, kNoCard), modelStep(kOk)};
    QTest::newRow("reader moved to port 4 at 9600")
        << QByteArray("port=4,baud=9600,latency=off")
        << QList{openStep(2, 9600, kNoSuchPort), openStep(4, 19200, kOk), readStep(0, kNoAnswer),
                 openStep(4, 9600, kOk), readStep(0, kOk)};
}

void TestSimulatedReader::followsScript()
{
    QFETCH(QByteArray, options);
    QFETCH(QList<Step>, steps);

    SimulatedReader reader(parsed(options));
    for (qsizetype i = 0; i < steps.size(); ++i)
        QVERIFY2(run(reader, steps[i]) == steps[i].status, qPrintable(QStringLiteral("step %1").arg(i)));
}

void TestSimulatedReader::failedCallsWriteNothing()
{
    SimulatedReader reader(parsed("card=none,latency=off"));
    QCOMPARE(reader.initCom(0, 2, 19200), kOk);
    std::array<std::uint8_t, 16> buffer{};
    buffer.fill(0xEE);
    std::int32_t aux = -1;
    std::uint8_t modelAux = 0xEE;
    QCOMPARE(reader.request(0, 0, buffer.data(), &aux), kNoCard);
    QCOMPARE(reader.request(0, 11, buffer.data(), &aux), kBadArgument);
    QCOMPARE(reader.request(0, 0, nullptr, &aux), kBadArgument);
    QCOMPARE(reader.getModel(0, nullptr, &modelAux), kBadArgument);
    QCOMPARE(reader.initCom(0, 2, 4800), kOk);
    QCOMPARE(reader.getModel(0, buffer.data(), &modelAux), kNoAnswer);
    QVERIFY(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t byte) { return byte == 0xEE; }));
    QCOMPARE(aux, -1);
    QCOMPARE(modelAux, std::uint8_t{0xEE});
}

void TestSimulatedReader::waitsForFrameTime_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("openBaud");
    QTest::addColumn<Step>("step");
    QTest::addColumn<QList<qint64>>("waits");

    // Frames: 6 bytes of framing plus the data, each way, 10 bits a byte:
    // the nanoseconds written out, rounded up. No answer costs 100 ms more.
    const QByteArray none;
    QTest::newRow("read format 0: 1 out, 10 back") << none << 19200 << readStep(0, kOk) << QList<qint64>{11'979'167}; // 23 bytes at 19200
    QTest::newRow("read format 7: 3 back") << none << 19200 << readStep(7, kOk) << QList<qint64>{8'333'334}; // 16 bytes
    QTest::newRow("read at 9600") << QByteArray("baud=9600") << 9600 << readStep(3, kOk) << QList<qint64>{18'750'000}; // 18 bytes at 9600
    QTest::newRow("no card: empty reply")
        << QByteArray("card=none") << 19200 << readStep(0, kNoCard) << QList<qint64>{6'770'834}; // 13 bytes
    QTest::newRow("model: 2 back") << none << 19200 << modelStep(kOk) << QList<qint64>{7'291'667}; // 14 bytes
    QTest::newRow("beep: 1 out") << none << 19200 << beepStep(200, kOk) << QList<qint64>{6'770'834}; // 13 bytes
    QTest::newRow("wrong rate: request, then timeout")
        << none << 4800 << lightStep(1, kNoAnswer) << QList<qint64>{114'583'334}; // 7 bytes at 4800
    QTest::newRow("argument error: nothing sent") << none << 19200 << readStep(11, kBadArgument) << QList<qint64>{};
    QTest::newRow("close: no traffic") << none << 19200 << closeStep(kOk) << QList<qint64>{};
    QTest::newRow("latency off") << QByteArray("latency=off") << 19200 << readStep(0, kOk) << QList<qint64>{};
}

void TestSimulatedReader::waitsForFrameTime()
{
    QFETCH(QByteArray, options);
    QFETCH(int, openBaud);
    QFETCH(Step, step);
    QFETCH(QList<qint64>, waits);

    QList<qint64> recorded;
    SimulatedReader reader(parsed(options),
                           [&](std::chrono::nanoseconds duration) { recorded.append(duration.count()); });
    QCOMPARE(reader.initCom(0, 2, openBaud), kOk);
    QVERIFY(recorded.isEmpty());
    QCOMPARE(run(reader, step), step.status);
    QCOMPARE(recorded, waits);
}

void TestSimulatedReader::latencyTakesAtLeastTheWireTime()
{
    // Format 0 at 9600: 23 bytes, 230 bits, 23.958334 ms on the wire.
    SimulatedReader reader(parsed("baud=9600"));
    QCOMPARE(reader.initCom(0, 2, 9600), kOk);
    std::array<std::uint8_t, kv::kMaxCardReplySize> buffer{};
    const auto start = std::chrono::steady_clock::now();
    QCOMPARE(reader.request(0, 0, buffer.data(), nullptr), kOk);
    QVERIFY(std::chrono::steady_clock::now() - start >= std::chrono::nanoseconds(23'958'334));
}

QTEST_APPLESS_MAIN(TestSimulatedReader)
#include "test_simulated_reader.moc"
