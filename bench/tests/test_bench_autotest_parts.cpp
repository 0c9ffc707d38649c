// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The parts of the automatic-test benchmark: order statistics, processor
// share per window, step timings of a pass, the peak-memory line, and the
// reader that answers at once.

#include "BenchStats.h"
#include "InstantReader.h"

#include <cmath>
#include <limits>

#include <QTest>

using namespace kv::bench;
using kv::InstantReader;

namespace {

std::vector<double> ramp(int n)
{
    std::vector<double> v;
    for (int i = n; i >= 1; --i) // descending, so sorting matters
        v.push_back(i);
    return v;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A pass whose step k is read at start + 12 k, its log done 1.5 ms later,
// so every wait is 10.5 ms.
PassTimes regularPass(double start)
{
    PassTimes t = emptyPassTimes();
    for (std::size_t k = 0; k < kStepsPerPass; ++k) {
        t.read[k] = start + 12.0 * static_cast<double>(k);
        t.logDone[k] = t.read[k] + 1.5;
    }
    return t;
}

} // namespace

class TestBenchAutotestParts : public QObject
{
    Q_OBJECT

private slots:
    void nearestRank_data()
    {
        QTest::addColumn<std::vector<double>>("values");
        QTest::addColumn<double>("q");
        QTest::addColumn<double>("expected");

        QTest::newRow("one value p50") << std::vector<double>{7} << 50.0 << 7.0;
        QTest::newRow("one value p99") << std::vector<double>{7} << 99.0 << 7.0;
        QTest::newRow("ten p50 is the 5th") << ramp(10) << 50.0 << 5.0;
        QTest::newRow("ten p99 is the 10th") << ramp(10) << 99.0 << 10.0;
        QTest::newRow("hundred p99 is the 99th") << ramp(100) << 99.0 << 99.0;
        QTest::newRow("hundred p50 is the 50th") << ramp(100) << 50.0 << 50.0;
        QTest::newRow("thousand p99 is the 990th") << ramp(1000) << 99.0 << 990.0;
        QTest::newRow("two p50 is the lower") << std::vector<double>{1, 2} << 50.0 << 1.0;
        QTest::newRow("p100 is the max") << ramp(9) << 100.0 << 9.0;
        QTest::newRow("tiny q is the min") << ramp(9) << 0.001 << 1.0;
    }

    void nearestRank()
    {
        QFETCH(std::vector<double>, values);
        QFETCH(double, q);
        QFETCH(double, expected);
        std::ranges::sort(values);
        QCOMPARE(kv::bench::nearestRank(values, q), expected);
    }

    void summarizeSortsAndAverages()
    {
        const Summary s = summarize({5, 1, 4, 2, 3});
        QCOMPARE(s.count, std::size_t(5));
        QCOMPARE(s.min, 1.0);
        QCOMPARE(s.max, 5.0);
        QCOMPARE(s.p50, 3.0);
        QCOMPARE(s.p99, 5.0);
        QCOMPARE(s.mean, 3.0);
    }

    void summarizeOfNothingIsZero()
    {
        const Summary s = summarize({});
        QCOMPARE(s.count, std::size_t(0));
        QCOMPARE(s.max, 0.0);
        QCOMPARE(s.p99, 0.0);
    }

    void windowShares_data()
    {
        QTest::addColumn<std::vector<double>>("cpu");
        QTest::addColumn<std::vector<double>>("wall");
        QTest::addColumn<int>("window");
        QTest::addColumn<std::vector<double>>("expected");

        // 4 passes of 100 ms wall; 1, 3, 2, 4 ms of processor each.
        const std::vector<double> wall{0, 100, 200, 300, 400};
        const std::vector<double> cpu{50, 51, 54, 56, 60};
        QTest::newRow("window of one") << cpu << wall << 1 << std::vector<double>{1, 3, 2, 4};
        QTest::newRow("window of two") << cpu << wall << 2 << std::vector<double>{2, 3};
        QTest::newRow("leftover pass dropped") << cpu << wall << 3 << std::vector<double>{(56.0 - 50) / 300 * 100};
        QTest::newRow("window of all") << cpu << wall << 4 << std::vector<double>{10.0 / 400 * 100};
        QTest::newRow("window too long") << cpu << wall << 5 << std::vector<double>{};
        QTest::newRow("window of zero") << cpu << wall << 0 << std::vector<double>{};
        QTest::newRow("no wall time skipped")
            << std::vector<double>{0, 1, 2} << std::vector<double>{0, 0, 50} << 1 << std::vector<double>{2};
        QTest::newRow("shorter series bounds")
            << std::vector<double>{0, 1, 2, 3} << std::vector<double>{0, 10} << 1 << std::vector<double>{10};
    }

    void windowShares()
    {
        QFETCH(std::vector<double>, cpu);
        QFETCH(std::vector<double>, wall);
        QFETCH(int, window);
        QFETCH(std::vector<double>, expected);
        const std::vector<double> shares = kv::bench::windowShares(cpu, wall, static_cast<std::size_t>(window));
        QCOMPARE(shares.size(), expected.size());
        for (std::size_t i = 0; i < shares.size(); ++i)
            QVERIFY2(std::abs(shares[i] - expected[i]) < 1e-9, qPrintable(QString::number(shares[i])));
    }

    void overallShare_data()
    {
        QTest::addColumn<std::vector<double>>("cpu");
        QTest::addColumn<std::vector<double>>("wall");
        QTest::addColumn<double>("expected");

        QTest::newRow("two points") << std::vector<double>{10, 12} << std::vector<double>{1000, 1100} << 2.0;
        QTest::newRow("ends only count")
            << std::vector<double>{0, 99, 5} << std::vector<double>{0, 1, 1000} << 0.5;
        QTest::newRow("one point") << std::vector<double>{3} << std::vector<double>{3} << 0.0;
        QTest::newRow("no wall time") << std::vector<double>{0, 4} << std::vector<double>{7, 7} << 0.0;
    }

    void overallShare()
    {
        QFETCH(std::vector<double>, cpu);
        QFETCH(std::vector<double>, wall);
        QFETCH(double, expected);
        QCOMPARE(kv::bench::overallShare(cpu, wall), expected);
    }

    void stepFiguresOfRegularPasses()
    {
        std::vector<PassTimes> passes{regularPass(0), regularPass(121), emptyPassTimes()};
        passes[2].read[0] = 243; // only the start of the pass after the last
        const StepFigures f = stepFigures(passes);
        QCOMPARE(f.periods, (std::vector<double>{121, 122}));
        QCOMPARE(f.turns, (std::vector<double>{121 - 120.0, 243 - 241.0}));
        QCOMPARE(f.readGaps.size(), std::size_t(20));
        QCOMPARE(f.waits.size(), std::size_t(20));
        QCOMPARE(f.work.size(), std::size_t(22));
        for (double g : f.readGaps)
            QCOMPARE(g, 12.0);
        for (double w : f.waits)
            QCOMPARE(w, 10.5);
        for (double w : f.work)
            QCOMPARE(w, 1.5);
    }

    void stepFiguresLeaveOutUnseenEnds()
    {
        PassTimes t = regularPass(1000);
        t.read[3] = kNaN;     // drops gaps 2->3 and 3->4, wait 2->3, work 3
        t.logDone[7] = kNaN;  // drops wait 7->8 and work 7
        t.read[10] += 5;      // gap 9->10 and wait 9->10 grow by 5,
        t.logDone[10] += 5;   // the last step's work stays 1.5
        const StepFigures f = stepFigures(std::vector<PassTimes>{t});
        QVERIFY(f.periods.empty());
        QVERIFY(f.turns.empty());
        QCOMPARE(f.readGaps.size(), std::size_t(8));
        QCOMPARE(f.waits.size(), std::size_t(8));
        QCOMPARE(f.work.size(), std::size_t(9));
        QCOMPARE(f.readGaps.back(), 17.0);
        QCOMPARE(f.waits.back(), 15.5);
        QCOMPARE(f.work.back(), 1.5);
    }

    void stepFiguresOfNoPasses()
    {
        const StepFigures f = stepFigures({});
        QVERIFY(f.periods.empty() && f.turns.empty() && f.readGaps.empty() && f.waits.empty() && f.work.empty());
    }

    void vmHwmKb_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<long>("expected"); // -1: none

        QTest::newRow("proc layout") << QByteArray("Name:\tx\nVmPeak:\t  300000 kB\nVmHWM:\t   34652 kB\nVmRSS:\t 31208 kB\n")
                                     << 34652L;
        QTest::newRow("first line") << QByteArray("VmHWM: 12 kB\n") << 12L;
        QTest::newRow("no newline at end") << QByteArray("A:\t1\nVmHWM:\t77 kB") << 77L;
        QTest::newRow("key inside another line") << QByteArray("XVmHWM:\t5 kB\nVmHWM:\t6 kB\n") << 6L;
        QTest::newRow("absent") << QByteArray("VmRSS:\t5 kB\n") << -1L;
        QTest::newRow("no number") << QByteArray("VmHWM:\t kB\n") << -1L;
        QTest::newRow("empty value") << QByteArray("VmHWM:\n") << -1L;
        QTest::newRow("other unit") << QByteArray("VmHWM:\t5 MB\n") << -1L;
        QTest::newRow("empty text") << QByteArray() << -1L;
    }

    void vmHwmKb()
    {
        QFETCH(QByteArray, text);
        QFETCH(long, expected);
        const std::optional<long> value = kv::bench::vmHwmKb(std::string_view(text.constData(), text.size()));
        QCOMPARE(value.value_or(-1), expected);
    }

    // The card 11 22 33 44 55 in each format, as the window renders it in hex.
    void instantReaderReplies_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("hex");

        const char *replies[] = {"30353733373835313733", "31343330353332383938", "3035312c3137343933",
                                 "1122334455",           "5544332211",           "22334455",
                                 "55443322",             "334455",               "554433",
                                 "3033333539383239",     "3035353838303139"};
        for (int format = 0; format < 11; ++format)
            QTest::addRow("format %d", format) << format << QByteArray(replies[format]);
    }

    void instantReaderReplies()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, hex);
        InstantReader reader;
        std::vector<int> seen;
        reader.onRequest = [&seen](std::uint8_t f) { seen.push_back(f); };
        std::array<std::uint8_t, 32> buffer;
        buffer.fill(0xEE);
        std::int32_t aux = -1;
        QCOMPARE(reader.request(0, static_cast<std::uint8_t>(format), buffer.data(), &aux), std::int16_t(0));
        QCOMPARE(aux, hex.size() / 2);
        const QByteArray written(reinterpret_cast<const char *>(buffer.data()), aux);
        QCOMPARE(written.toHex(), hex);
        QCOMPARE(buffer[static_cast<std::size_t>(aux)], std::uint8_t(0xEE)); // nothing beyond the reply
        QCOMPARE(seen, std::vector<int>{format});
        QCOMPARE(reader.requests, 1L);
    }

    void instantReaderRefusesUnknownFormat()
    {
        InstantReader reader;
        std::array<std::uint8_t, 16> buffer;
        buffer.fill(0xEE);
        std::int32_t aux = -1;
        QVERIFY(reader.request(0, 11, buffer.data(), &aux) != 0);
        QCOMPARE(aux, -1);
        QCOMPARE(buffer[0], std::uint8_t(0xEE));
    }

    void instantReaderCountsAndHooks()
    {
        InstantReader reader;
        std::vector<int> beeps;
        reader.onBeep = [&beeps](std::uint8_t value) { beeps.push_back(value); };
        QCOMPARE(reader.initCom(0, 2, 19200), std::int16_t(0));
        QCOMPARE(reader.beep(0, 30), std::int16_t(0));
        QCOMPARE(reader.beep(0, 33), std::int16_t(0));
        QCOMPARE(reader.light(0, 3), std::int16_t(0));
        QCOMPARE(reader.closePort(), std::int16_t(0));
        QCOMPARE(beeps, (std::vector<int>{30, 33}));
        QCOMPARE(reader.opens, 1L);
        QCOMPARE(reader.closes, 1L);
        QCOMPARE(reader.requests, 0L);
        std::array<std::uint8_t, 4> version{};
        std::uint8_t aux = 0;
        QCOMPARE(reader.getModel(0, version.data(), &aux), std::int16_t(0));
        QCOMPARE(aux, std::uint8_t(2));
        QCOMPARE(version[0], std::uint8_t(0x01));
        QCOMPARE(version[1], std::uint8_t(0x23));
    }
};

QTEST_GUILESS_MAIN(TestBenchAutotestParts)
#include "test_bench_autotest_parts.moc"
