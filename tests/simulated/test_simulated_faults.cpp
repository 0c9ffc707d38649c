// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <bit>
#include <bitset>
#include <sstream>

#include "SimulatedReader.h"

using namespace kv::sim;

namespace {

const kv::CardId kCard{0x11, 0x22, 0x33, 0x44, 0x55};
constexpr std::uint8_t kUntouched = 0xEE;

// What one read returned: its status and the whole buffer, which was filled
// with kUntouched before the call.
struct Read
{
    std::int16_t status = -1;
    QByteArray buffer;
    std::int32_t aux = -1;
    friend bool operator==(const Read &, const Read &) = default;
};

Read readOnce(SimulatedReader &reader, std::uint8_t format, std::int32_t icdev = 0)
{
    std::array<std::uint8_t, 16> buffer{};
    buffer.fill(kUntouched);
    Read read;
    read.status = reader.request(icdev, format, buffer.data(), &read.aux);
    read.buffer = QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(buffer.size()));
    return read;
}

// The buffer a perfect read of `id` in `format` leaves.
QByteArray replyOf(const kv::CardId &id, std::uint8_t format)
{
    std::array<std::uint8_t, kv::kMaxCardReplySize> reply{};
    const std::size_t size = kv::writeCardReply(id, format, reply);
    QByteArray buffer(16, char(kUntouched));
    std::copy_n(reply.begin(), size, buffer.begin());
    return buffer;
}

bool untouched(const Read &read)
{
    return std::ranges::all_of(read.buffer, [](char byte) { return std::uint8_t(byte) == kUntouched; });
}

SimulatedOptions options(const QByteArray &text)
{
    std::ostringstream diagnostics;
    const SimulatedOptions result = parseOptions(text.toStdString(), diagnostics);
    if (!diagnostics.str().empty())
        qWarning("unexpected option report: %s", diagnostics.str().c_str());
    return result;
}

// A reader with the given options and its port open.
std::unique_ptr<SimulatedReader> openReader(const QByteArray &text)
{
    auto reader = std::make_unique<SimulatedReader>(options(text + ",latency=off"));
    if (reader->initCom(0, 2, 19200) != kOk)
        qFatal("the simulated reader did not open");
    return reader;
}

// The card ID a raw format-3 reply (v a b c d) shows.
kv::CardId idOf(const Read &read)
{
    kv::CardId id{};
    std::copy_n(read.buffer.begin(), id.size(), id.begin());
    return id;
}

int differingBits(const kv::CardId &a, const kv::CardId &b)
{
    int bits = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        bits += std::popcount(std::uint8_t(a[i] ^ b[i]));
    return bits;
}

} // namespace

class TestSimulatedFaults : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }
    void parsesFaultOptions_data();
    void parsesFaultOptions();
    void sameSeedSameFaults();
    void ratesRoughlyRespected_data();
    void ratesRoughlyRespected();
    void misreadFlipsOneBitOfTheId();
    void everyFormatShowsTheSameWrongId();
    void failureWritesNothingAndSendsAnEmptyReply();
    void noFaultBeforeTheNthRead_data();
    void noFaultBeforeTheNthRead();
};

void TestSimulatedFaults::parsesFaultOptions_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("fail");
    QTest::addColumn<double>("misread");
    QTest::addColumn<int>("from");
    QTest::addColumn<uint>("seed");
    QTest::addColumn<QStringList>("reported"); // one entry a line, fragments separated by '|'

    auto row = [](const char *name, const char *text, double fail, double misread, int from, uint seed,
                  const char *reported = "") {
        QTest::newRow(name) << QByteArray(text) << fail << misread << from << seed
                            << QString::fromUtf8(reported).split(u';', Qt::SkipEmptyParts);
    };
    row("defaults: no faults", "", 0, 0, 1, 1);
    row("every key", "fail=0.05,misread=0.25,faults_from=12,seed=42", 0.05, 0.25, 12, 42);
    row("limits", "fail=0,misread=1,seed=0", 0, 1, 1, 0);
    row("exponent, blanks", " fail = 5e-2 , seed = 4294967295", 0.05, 0, 1, 4294967295U);
    row("later item wins", "misread=0.5,misread=0.125", 0, 0.125, 1, 1);
    row("rate above 1", "fail=1.5", 0, 0, 1, 1, "'fail=1.5'|share from 0 to 1|keeping fail=0");
    row("negative rate", "misread=-0.1", 0, 0, 1, 1, "'misread=-0.1'|keeping misread=0");
    row("percent sign", "fail=5%", 0, 0, 1, 1, "'fail=5%'|keeping fail=0");
    row("not a number", "misread=nan", 0, 0, 1, 1, "'misread=nan'|keeping misread=0");
    row("empty rate", "fail=", 0, 0, 1, 1, "'fail='|keeping fail=0");
    row("kept rate is the earlier item", "fail=0.25,fail=x", 0.25, 0, 1, 1, "'fail=x'|keeping fail=0.25");
    row("faults from 0", "faults_from=0", 0, 0, 1, 1, "'faults_from=0'|keeping faults_from=1");
    row("faults from a fraction", "faults_from=2.5", 0, 0, 1, 1, "'faults_from=2.5'|keeping faults_from=1");
    row("negative seed", "seed=-1", 0, 0, 1, 1, "'seed=-1'|keeping seed=1");
    row("seed beyond 32 bits", "seed=4294967296", 0, 0, 1, 1, "'seed=4294967296'|keeping seed=1");
    row("unknown key names the fault keys", "faults=1", 0, 0, 1, 1, "'faults=1'|fail misread faults_from seed");
}

void TestSimulatedFaults::parsesFaultOptions()
{
    QFETCH(QByteArray, text);
    QFETCH(double, fail);
    QFETCH(double, misread);
    QFETCH(int, from);
    QFETCH(uint, seed);
    QFETCH(QStringList, reported);

    std::ostringstream diagnostics;
    const SimulatedOptions parsed = parseOptions(text.toStdString(), diagnostics);
    QCOMPARE(parsed.failRate, fail);
    QCOMPARE(parsed.misreadRate, misread);
    QCOMPARE(parsed.faultsFrom, from);
    QCOMPARE(parsed.seed, seed);
    // The other settings stay at their defaults.
    QVERIFY(parsed.card == SimulatedOptions{}.card);
    QCOMPARE(parsed.latency, true);

    const QStringList lines = QString::fromStdString(diagnostics.str()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), reported.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        for (const QString &fragment : reported[i].split(u'|'))
            QVERIFY2(lines[i].contains(fragment), qPrintable(lines[i]));
}

void TestSimulatedFaults::sameSeedSameFaults()
{
    const auto readAll = [](const QByteArray &text) {
        const auto reader = openReader(text);
        QList<Read> reads;
        for (int i = 0; i < 400; ++i)
            reads << readOnce(*reader, std::uint8_t(i % 11));
        return reads;
    };
    const QList<Read> first = readAll("fail=0.2,misread=0.2,seed=42");
    QCOMPARE(readAll("fail=0.2,misread=0.2,seed=42"), first);
    QVERIFY(readAll("fail=0.2,misread=0.2,seed=43") != first);
    // Some of each kind, so the comparison above compared faults.
    QVERIFY(std::ranges::count(first, kNoCard, &Read::status) > 20);
    QVERIFY(std::ranges::count_if(first, [](const Read &read) { return read.status == kOk; }) > 200);
}

void TestSimulatedFaults::ratesRoughlyRespected_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<double>("failShare");
    QTest::addColumn<double>("misreadShare");

    QTest::newRow("none") << QByteArray("seed=7") << 0.0 << 0.0;
    QTest::newRow("5% and 5%") << QByteArray("fail=0.05,misread=0.05,seed=7") << 0.05 << 0.05;
    QTest::newRow("failures only") << QByteArray("fail=0.3,seed=11") << 0.3 << 0.0;
    QTest::newRow("misreads only") << QByteArray("misread=0.5,seed=12") << 0.0 << 0.5;
    QTest::newRow("every read fails") << QByteArray("fail=1,misread=0.5") << 1.0 << 0.0;
    QTest::newRow("every read misread") << QByteArray("misread=1") << 0.0 << 1.0;
    QTest::newRow("shares above 1 in all: failures first")
        << QByteArray("fail=0.7,misread=0.7,seed=3") << 0.7 << 0.3;
}

void TestSimulatedFaults::ratesRoughlyRespected()
{
    QFETCH(QByteArray, options);
    QFETCH(double, failShare);
    QFETCH(double, misreadShare);

    // Format 3 shows all 40 bits, so every misread is visible.
    constexpr int kReads = 4000;
    const auto reader = openReader(options);
    int failures = 0;
    int misreads = 0;
    for (int i = 0; i < kReads; ++i) {
        const Read read = readOnce(*reader, 3);
        if (read.status == kNoCard && untouched(read))
            ++failures;
        else if (read.status == kOk && read.buffer != replyOf(kCard, 3))
            ++misreads;
        else
            QCOMPARE(read, (Read{kOk, replyOf(kCard, 3), 5}));
    }
    // About 5 standard deviations at the widest (a share of 0.5).
    constexpr double kTolerance = 0.04;
    QVERIFY2(std::abs(failures / double(kReads) - failShare) <= kTolerance, qPrintable(QString::number(failures)));
    QVERIFY2(std::abs(misreads / double(kReads) - misreadShare) <= kTolerance, qPrintable(QString::number(misreads)));
}

void TestSimulatedFaults::misreadFlipsOneBitOfTheId()
{
    const auto reader = openReader("misread=1,seed=5");
    std::bitset<40> flipped;
    for (int i = 0; i < 1000; ++i) {
        const Read read = readOnce(*reader, 3);
        QCOMPARE(read.status, kOk);
        QCOMPARE(read.aux, 5);
        QCOMPARE(read.buffer.mid(5), QByteArray(11, char(kUntouched)));
        const kv::CardId id = idOf(read);
        QCOMPARE(differingBits(id, kCard), 1);
        for (std::size_t bit = 0; bit < 40; ++bit)
            if ((id[bit / 8] ^ kCard[bit / 8]) & (1U << (bit % 8)))
                flipped.set(bit);
    }
    // Any of the 40 bits may be the wrong one.
    QCOMPARE(flipped.count(), std::size_t(40));
}

void TestSimulatedFaults::everyFormatShowsTheSameWrongId()
{
    // Two readers with one seed draw the same faults for the same read
    // number: the one reading format 3 shows which ID the other one's format
    // was made from.
    for (std::uint8_t format = 0; format <= kv::kLastCardFormat; ++format) {
        const QByteArray text = "fail=0.1,misread=0.6,seed=99";
        const auto raw = openReader(text);
        const auto formatted = openReader(text);
        int misreads = 0;
        for (int i = 0; i < 200; ++i) {
            const Read shown = readOnce(*raw, 3);
            const Read read = readOnce(*formatted, format);
            QCOMPARE(read.status, shown.status);
            if (shown.status != kOk) {
                QVERIFY(untouched(read));
                continue;
            }
            misreads += idOf(shown) != kCard;
            QVERIFY2(read.buffer == replyOf(idOf(shown), format),
                     qPrintable(QStringLiteral("format %1, read %2: %3").arg(format).arg(i + 1)
                                    .arg(QLatin1StringView(read.buffer.toHex()))));
        }
        QVERIFY(misreads > 60);
    }
}

void TestSimulatedFaults::failureWritesNothingAndSendsAnEmptyReply()
{
    QList<qint64> waits;
    SimulatedReader reader(options("fail=1"), [&waits](std::chrono::nanoseconds duration) { waits << duration.count(); });
    QCOMPARE(reader.initCom(0, 2, 19200), kOk);
    for (std::uint8_t format = 0; format <= kv::kLastCardFormat; ++format) {
        const Read read = readOnce(reader, format);
        QCOMPARE(read.status, kNoCard);
        QVERIFY(untouched(read));
        QCOMPARE(read.aux, -1);
    }
    // Each read: a request with the format byte, a reply frame without data.
    const qint64 emptyExchange = std::chrono::nanoseconds(wireTime(2 * kFrameOverhead + 1, 19200)).count();
    QCOMPARE(waits, QList<qint64>(11, emptyExchange));
    // The other calls never fail.
    std::array<std::uint8_t, 2> version{};
    QCOMPARE(reader.getModel(0, version.data(), nullptr), kOk);
    QCOMPARE(reader.beep(0, 10), kOk);
    QCOMPARE(reader.light(0, 3), kOk);
}

void TestSimulatedFaults::noFaultBeforeTheNthRead_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("otherCalls"); // calls that are no answered card reads between the reads

    QTest::newRow("failures from read 12") << QByteArray("fail=1,faults_from=12") << 12 << false;
    QTest::newRow("misreads from read 3") << QByteArray("misread=1,faults_from=3") << 3 << false;
    QTest::newRow("faults from the first read") << QByteArray("fail=0.5,misread=0.5") << 1 << false;
    QTest::newRow("only answered reads count")
        << QByteArray("fail=0.5,misread=0.5,faults_from=12") << 12 << true;
}

void TestSimulatedFaults::noFaultBeforeTheNthRead()
{
    QFETCH(QByteArray, options);
    QFETCH(int, from);
    QFETCH(bool, otherCalls);

    const auto reader = openReader(options);
    const Read perfect{kOk, replyOf(kCard, 3), 5};
    for (int number = 1; number <= 40; ++number) {
        if (otherCalls) {
            std::array<std::uint8_t, 2> version{};
            QCOMPARE(readOnce(*reader, 11).status, kBadArgument);
            QCOMPARE(readOnce(*reader, 3, 1).status, kNoAnswer);
            QCOMPARE(reader->getModel(0, version.data(), nullptr), kOk);
            QCOMPARE(reader->beep(0, 1), kOk);
            QCOMPARE(reader->closePort(), kOk);
            QCOMPARE(readOnce(*reader, 3).status, kPortClosed);
            QCOMPARE(reader->initCom(0, 2, 9600), kOk);
            QCOMPARE(readOnce(*reader, 3).status, kNoAnswer);
            QCOMPARE(reader->initCom(0, 2, 19200), kOk);
        }
        const Read read = readOnce(*reader, 3);
        if (number < from)
            QVERIFY2(read == perfect, qPrintable(QStringLiteral("read %1").arg(number)));
        else
            QVERIFY2(read != perfect, qPrintable(QStringLiteral("read %1").arg(number)));
    }
}

QTEST_APPLESS_MAIN(TestSimulatedFaults)
#include "test_simulated_faults.moc"
