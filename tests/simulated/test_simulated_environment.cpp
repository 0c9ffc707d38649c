// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "SimulatedReader.h"

using namespace kv::sim;

// The library's reader takes its options from the variable at its first use
// and never looks again. The whole check is one function because the reader
// exists once per process.
class TestSimulatedEnvironment : public QObject
{
    Q_OBJECT

private slots:
    void readsTheVariableOnceAtFirstUse();
};

void TestSimulatedEnvironment::readsTheVariableOnceAtFirstUse()
{
    QVERIFY(qputenv(kOptionsVariable, "card=none,port=4,speed=fast,latency=off,baud=9600"));

    std::ostringstream captured;
    std::streambuf *const standardError = std::cerr.rdbuf(captured.rdbuf());
    SimulatedReader &first = sharedReader();
    std::cerr.rdbuf(standardError);

    QVERIFY(!first.options().card);
    QCOMPARE(first.options().port, 4);
    QCOMPARE(first.options().baud, 9600);
    QCOMPARE(first.options().latency, false);
    const std::string report = captured.str();
    QCOMPARE(std::count(report.begin(), report.end(), '\n'), 1);
    QVERIFY(report.find("'speed=fast'") != std::string::npos);

    // The options govern the behaviour, not just the stored values.
    QCOMPARE(first.initCom(0, 4, 9600), kOk);
    std::array<std::uint8_t, kv::kMaxCardReplySize> buffer{};
    std::int32_t aux = 0;
    QCOMPARE(first.request(0, 0, buffer.data(), &aux), kNoCard);
    QCOMPARE(first.closePort(), kOk);

    QVERIFY(qputenv(kOptionsVariable, "port=7,bogus"));
    std::cerr.rdbuf(captured.rdbuf());
    SimulatedReader &again = sharedReader();
    std::cerr.rdbuf(standardError);
    QCOMPARE(&again, &first);
    QCOMPARE(again.options().port, 4);
    QCOMPARE(captured.str(), report);
}

QTEST_APPLESS_MAIN(TestSimulatedEnvironment)
#include "test_simulated_environment.moc"
