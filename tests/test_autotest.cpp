// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <ctime>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScreen>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "DelayMs.h"
#include "FormHarness.h"
#include "PreciseWake.h"
#include "RecordFile.h"
#include "Shape.h"
#include "StatisticsFrame.h"

using namespace kv;

namespace {

// Sets the C library's time zone (TZ) while it lives.
class TimeZoneSetting
{
public:
    explicit TimeZoneSetting(const char *zone) : m_was(qgetenv("TZ")), m_wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        apply();
    }
    ~TimeZoneSetting()
    {
        if (m_wasSet)
            qputenv("TZ", m_was);
        else
            qunsetenv("TZ");
        apply();
    }
    Q_DISABLE_COPY_MOVE(TimeZoneSetting)

private:
    static void apply()
    {
#ifdef Q_OS_WIN
        _tzset();
#else
        tzset();
#endif
    }
    QByteArray m_was;
    bool m_wasSet;
};

} // namespace

// The automatic test on the real window, driven by real clicks and real
// timer ticks.
class AutoTestTest : public QObject
{
    Q_OBJECT

private slots:
    void delayMsZeroOrLessProcessesNothing_data();
    void delayMsZeroOrLessProcessesNothing();
    void delayMsProcessesEventsAndNeverEndsEarly();
    void nestedWaitsShareAWake_data();
    void nestedWaitsShareAWake();
    void startOpensPortAndFirstPassAfterTimerInterval();
    void completePass();
    void verdicts_data();
    void verdicts();
    void noCardEmptyReferencesAllPass();
    void cuesOnlyAfterSuccessfulReads();
    void startFailsWhenPortDoesNotOpen();
    void startWithPortAlreadyOpen();
    void stopDuringPass();
    void stopAndStartDuringPass();
    void readAllDuringPass();
    void typedLogTextKept();
    void screenShowsEveryChange();
    void repaintsAtMostOnceAFrame();
    void closingDuringPassEndsTheProgram();
    void statisticsFollowStartAndStop();
    void statisticsEveryQuarterSecond();
    void recordThatCannotBeWritten_data();
    void recordThatCannotBeWritten();
    void failureKindsAndTheLink();

private:
    // Every full log a pass left behind, taken just before the next pass
    // cleared it (and the last one at the end).
    static QStringList passLogs(const QStringList &history);
};

QStringList AutoTestTest::passLogs(const QStringList &history)
{
    QStringList logs;
    for (qsizetype i = 1; i < history.size(); ++i)
        if (history[i].isEmpty() && !history[i - 1].isEmpty())
            logs << history[i - 1];
    if (!history.isEmpty() && !history.last().isEmpty())
        logs << history.last();
    return logs;
}

// Records every state of the log box.
struct LogHistory
{
    explicit LogHistory(FormHarness &harness)
    {
        auto *log = harness.child<QPlainTextEdit>(QStringLiteral("txtTestResult"));
        connection = QObject::connect(log, &QPlainTextEdit::textChanged, log, [this, log] { states << log->toPlainText(); });
    }
    ~LogHistory() { QObject::disconnect(connection); } // the window outlives the history
    LogHistory(const LogHistory &) = delete;
    LogHistory &operator=(const LogHistory &) = delete;

    QStringList states;
    QMetaObject::Connection connection;
};

QString line(int step, bool passed, const QString &card)
{
    return QStringLiteral("第%1步测试%2，卡号为%3").arg(step).arg(passed ? QStringLiteral("成功") : QStringLiteral("错误"), card);
}

QString fullPassLog(const std::function<QString(int)> &lineOf)
{
    QString log;
    for (int step = 0; step <= 10; ++step)
        log += lineOf(step) + u'\n';
    return log;
}

QTimer *timer1(FormHarness &harness) { return harness.form->findChild<QTimer *>(QStringLiteral("Timer1")); }

QColor lamp(FormHarness &harness) { return harness.child<Shape>(QStringLiteral("Shape1"))->fillColor(); }

const QColor kGreen(0, 192, 0);
const QColor kRed(255, 0, 0);

// Runs `action` once, from the event processing of the wait that follows the
// first library call equal to `call`: as if the operator acted right then.
// The returned flag turns true once the call was seen.
std::shared_ptr<bool> onceAfter(FormHarness &harness, const QString &call, std::function<void()> action)
{
    auto seen = std::make_shared<bool>(false);
    harness.reader.setOnCall([&harness, call, action, seen](const QString &made) {
        if (made == call && !*seen) {
            *seen = true;
            QTimer::singleShot(0, harness.form.get(), action);
        }
    });
    return seen;
}

// Lets the event loop run until a timer of `interval` started now has fired.
// Due timers fire in the order they fall due, so any timer the window started
// before with an interval no longer than this one has fired by then, however
// late a loaded machine runs them both.
void runTimersDueWithin(int interval)
{
    QTimer mark;
    mark.setSingleShot(true);
    mark.setTimerType(Qt::PreciseTimer);
    mark.start(interval + 1);
    QVERIFY(QTest::qWaitFor([&mark] { return !mark.isActive(); }, 60000));
}

void clickLater(FormHarness &harness, const QString &afterCall, const QString &button)
{
    onceAfter(harness, afterCall, [&harness, button] { harness.click(button); });
}

// Runs the test from a fresh start until the first pass has ended, stopping
// it from inside that pass's last read.
void runOnePass(FormHarness &harness)
{
    const auto stopped = onceAfter(harness, QStringLiteral("request(0,10)"),
                                   [&harness] { harness.click(QStringLiteral("cmdZiDongCeShi")); });
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(*stopped && !timer1(harness)->isActive(), 5000);
    QTest::qWait(50);
    harness.reader.setOnCall({});
}

void AutoTestTest::delayMsZeroOrLessProcessesNothing_data()
{
    QTest::addColumn<double>("interval");
    QTest::newRow("0") << 0.0;
    QTest::newRow("negative") << -5.0;
}

void AutoTestTest::delayMsZeroOrLessProcessesNothing()
{
    QFETCH(double, interval);
    bool ran = false;
    QTimer::singleShot(0, this, [&ran] { ran = true; });
    DelayMs(interval);
    QVERIFY(!ran);
    QTRY_VERIFY(ran);
}

void AutoTestTest::delayMsProcessesEventsAndNeverEndsEarly()
{
    for (const double interval : {10.0, 1.5, 25.0}) {
        bool ran = false;
        QMetaObject::invokeMethod(this, [&ran] { ran = true; }, Qt::QueuedConnection);
        QElapsedTimer clock;
        clock.start();
        DelayMs(interval);
        QVERIFY(clock.nsecsElapsed() >= qint64(interval * 1e6));
        QVERIFY(ran);
    }
}

void AutoTestTest::nestedWaitsShareAWake_data()
{
    QTest::addColumn<double>("outer");
    QTest::addColumn<double>("inner");
    QTest::newRow("inner ends first") << 30.0 << 5.0;
    QTest::newRow("inner ends last") << 10.0 << 30.0;
}

// Waits that share one wake, one run from inside the other as a pass inside
// another pass's wait is: each lasts its interval, and the outer one still
// ends on time, not when something else happens to wake the thread.
void AutoTestTest::nestedWaitsShareAWake()
{
    QFETCH(double, outer);
    QFETCH(double, inner);
    PreciseWake wake;
    qint64 innerNs = -1;
    // Posted now, so run by the outer wait's first processing of events,
    // however busy the machine: the inner wait always runs inside the outer.
    QMetaObject::invokeMethod(
        this,
        [&] {
            QElapsedTimer clock;
            clock.start();
            DelayMs(inner, wake);
            innerNs = clock.nsecsElapsed();
        },
        Qt::QueuedConnection);
    // Something else that wakes the thread, long after both waits are due.
    QTimer late;
    late.setSingleShot(true);
    late.start(2000);
    QElapsedTimer clock;
    clock.start();
    DelayMs(outer, wake);
    const qint64 outerNs = clock.nsecsElapsed();
    QVERIFY(innerNs >= qint64(inner * 1e6));
    QVERIFY(outerNs >= qint64(outer * 1e6));
    QVERIFY2(outerNs < 1'000'000'000, qPrintable(QStringLiteral("the outer wait took %1 ms").arg(outerNs / 1e6)));
}

void AutoTestTest::startOpensPortAndFirstPassAfterTimerInterval()
{
    FormHarness harness;
    harness.takeReferences();
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.reader.takeCalls(), QStringList{QStringLiteral("initCom(0,2,19200)")});
    QCOMPARE(harness.status(), QStringLiteral("串口打开成功！"));
    QCOMPARE(harness.text(QStringLiteral("cmdZiDongCeShi")), QStringLiteral("自动测试关闭"));
    QVERIFY(timer1(harness)->isActive());
    QCOMPARE(timer1(harness)->interval(), 100);
    QTRY_VERIFY(harness.reader.count(QStringLiteral("request")) > 0);
    QCOMPARE(timer1(harness)->interval(), 10); // from the first tick on

    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.text(QStringLiteral("cmdZiDongCeShi")), QStringLiteral("自动测试开始"));
    QVERIFY(!timer1(harness)->isActive());
    QCOMPARE(timer1(harness)->interval(), 10); // a stop leaves the interval alone
}

void AutoTestTest::completePass()
{
    FormHarness harness;
    harness.takeReferences();
    LogHistory history(harness);
    runOnePass(harness);
    const QString expected = fullPassLog([](int step) { return line(step, true, kStandardHex[std::size_t(step)]); });
    QCOMPARE(harness.text(QStringLiteral("txtTestResult")), expected);
    QCOMPARE(passLogs(history.states), QStringList{expected});
    // Each step extends the box's text by its line and a line break, in one
    // change: after the clearing, the first change holds exactly step 0.
    QCOMPARE(history.states.value(1), line(0, true, kStandardHex[0]) + u'\n');
    QCOMPARE(lamp(harness), kGreen);
    QCOMPARE(harness.text(QStringLiteral("lblCount")), QStringLiteral("22"));
}

void AutoTestTest::verdicts_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("reference"); // typed into txtZiFu(step)
    QTest::addColumn<QByteArray>("reply");  // the pass's reply for that step, empty: standard
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QString>("card");
    QTest::newRow("blanks around pass") << 3 << QStringLiteral("  1122334455 ") << QByteArray() << true
                                        << QStringLiteral("1122334455");
    QTest::newRow("lower case fails") << 2 << kStandardHex[2].toLower() << QByteArray() << false << kStandardHex[2];
    QTest::newRow("tab is not trimmed") << 7 << QStringLiteral("334455\t") << QByteArray() << false
                                        << QStringLiteral("334455");
    QTest::newRow("full-width blank is not trimmed") << 7 << QStringLiteral("\u3000334455") << QByteArray() << false
                                                     << QStringLiteral("334455");
    QTest::newRow("another card fails") << 5 << kStandardHex[5] << QByteArray::fromHex("22334456") << false
                                        << QStringLiteral("22334456");
    QTest::newRow("last step fails: red lamp") << 10 << QStringLiteral("x") << QByteArray() << false << kStandardHex[10];
}

void AutoTestTest::verdicts()
{
    QFETCH(int, step);
    QFETCH(QString, reference);
    QFETCH(QByteArray, reply);
    QFETCH(bool, passed);
    QFETCH(QString, card);
    FormHarness harness;
    harness.takeReferences();
    harness.setText(QStringLiteral("txtZiFu_%1").arg(step), reference);
    if (!reply.isEmpty())
        harness.reader.setReply(step, reply);
    runOnePass(harness);
    const QString expected = fullPassLog([&](int s) {
        return s == step ? line(s, passed, card) : line(s, true, kStandardHex[std::size_t(s)]);
    });
    QCOMPARE(harness.text(QStringLiteral("txtTestResult")), expected);
    QCOMPARE(lamp(harness), step == 10 && !passed ? kRed : kGreen);
    // The references are never written by the test.
    QCOMPARE(harness.text(QStringLiteral("txtZiFu_%1").arg(step)), reference);
}

void AutoTestTest::noCardEmptyReferencesAllPass()
{
    FormHarness harness;
    harness.reader.setStatus(QStringLiteral("request"), 1);
    runOnePass(harness);
    QCOMPARE(harness.text(QStringLiteral("txtTestResult")), fullPassLog([](int step) { return line(step, true, {}); }));
    QCOMPARE(lamp(harness), kGreen);
    QCOMPARE(harness.text(QStringLiteral("lblCount")), QStringLiteral("Label1"));
    QVERIFY(harness.form->readingText().isEmpty());
    QCOMPARE(harness.reader.count(QStringLiteral("light")) + harness.reader.count(QStringLiteral("beep")), 0);
}

void AutoTestTest::cuesOnlyAfterSuccessfulReads()
{
    FormHarness harness;
    harness.takeReferences();
    // The cue calls fail; that is never reported.
    harness.reader.setStatus(QStringLiteral("light"), 3);
    harness.reader.setStatus(QStringLiteral("beep"), 3);
    runOnePass(harness);
    QStringList expected{QStringLiteral("initCom(0,2,19200)"), QStringLiteral("request(0,0)"),
                         QStringLiteral("light(0,0)"), QStringLiteral("light(0,2)")};
    for (int format = 1; format <= 10; ++format)
        expected << QStringLiteral("request(0,%1)").arg(format);
    expected << QStringLiteral("beep(0,30)") << QStringLiteral("light(0,1)") << QStringLiteral("light(0,3)")
             << QStringLiteral("closePort()");
    QCOMPARE(harness.reader.calls(), expected);
    QCOMPARE(harness.form->module().lastStatus, 3);
    QCOMPARE(harness.text(QStringLiteral("txtTestResult")),
             fullPassLog([](int step) { return line(step, true, kStandardHex[std::size_t(step)]); }));

    // Failed reads of the first and the last format give no cue.
    FormHarness failing;
    failing.reader.queueStatus(QStringLiteral("request"), 0);
    for (int format = 0; format <= 10; ++format)
        failing.reader.queueStatus(QStringLiteral("request"), format == 0 || format == 10 ? 1 : 0);
    failing.click(QStringLiteral("cmdRequest_9")); // uses up the first queued status
    failing.reader.takeCalls();
    runOnePass(failing);
    QCOMPARE(failing.reader.count(QStringLiteral("light")) + failing.reader.count(QStringLiteral("beep")), 0);
    QVERIFY(failing.text(QStringLiteral("txtTestResult")).contains(line(0, true, {})));
    QVERIFY(failing.text(QStringLiteral("txtTestResult")).contains(line(10, true, {})));
}

void AutoTestTest::startFailsWhenPortDoesNotOpen()
{
    FormHarness harness;
    harness.reader.setStatus(QStringLiteral("initCom"), 1);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.status(), QStringLiteral("串口打开失败！"));
    QCOMPARE(harness.text(QStringLiteral("cmdZiDongCeShi")), QStringLiteral("自动测试开始"));
    QVERIFY(!timer1(harness)->isActive());
    runTimersDueWithin(100); // the first tick's interval
    QCOMPARE(harness.reader.calls(), QStringList{QStringLiteral("initCom(0,2,19200)")});
}

void AutoTestTest::startWithPortAlreadyOpen()
{
    FormHarness harness;
    harness.reader.queueStatus(QStringLiteral("closePort"), 1); // read-all's close fails: still open
    harness.takeReferences();
    QCOMPARE(harness.form->port().error_com(), 2);
    runOnePass(harness);
    QCOMPARE(harness.boxes, QStringList{QStringLiteral("串口已经打开，可直接操作")});
    QCOMPARE(harness.reader.count(QStringLiteral("initCom")), 0);
    QCOMPARE(harness.reader.count(QStringLiteral("request")), 11);
}

void AutoTestTest::stopDuringPass()
{
    const TemporaryRecord recordFile;
    FormHarness harness;
    harness.form->recordTo(recordFile.path);
    harness.takeReferences();
    clickLater(harness, QStringLiteral("request(0,4)"), QStringLiteral("cmdZiDongCeShi"));
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(harness.text(QStringLiteral("txtTestResult")).count(u'\n') == 11, 5000);
    runTimersDueWithin(100); // no further pass starts

    QCOMPARE(harness.reader.count(QStringLiteral("request")), 5);
    QCOMPARE(harness.reader.count(QStringLiteral("closePort")), 1);
    // The steps after the stop found the port closed: they read nothing and
    // fail with an empty card number, whatever an earlier reading was.
    const QString expected = fullPassLog([](int step) {
        return step <= 4 ? line(step, true, kStandardHex[std::size_t(step)]) : line(step, false, {});
    });
    QCOMPARE(harness.text(QStringLiteral("txtTestResult")), expected);
    QCOMPARE(harness.status(), QStringLiteral("串口打开失败！"));
    QCOMPARE(lamp(harness), kRed);
    QCOMPARE(harness.form->readingText(), kStandardHex[4]); // refused steps leave it as it was
    QVERIFY(!timer1(harness)->isActive());

    // The record: the start, the six refused steps as failures of pass 1 with
    // an empty reading and the status that says why, then the totals.
    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QStringList events;
    for (const RecordFile::Line &line : record.lines())
        events << line["event"];
    QCOMPARE(events, (QStringList{QStringLiteral("start"), QStringLiteral("fail"), QStringLiteral("fail"),
                                  QStringLiteral("fail"), QStringLiteral("fail"), QStringLiteral("fail"),
                                  QStringLiteral("fail"), QStringLiteral("stop")}));
    const QList<RecordFile::Line> failed = record.events(QStringLiteral("fail"));
    for (int step = 5; step <= 10; ++step) {
        const RecordFile::Line &line = failed[step - 5];
        QCOMPARE(line["pass"], QStringLiteral("1"));
        QCOMPARE(line["step"], QString::number(step));
        QCOMPARE(line["reference"], kStandardHex[std::size_t(step)]);
        QCOMPARE(line["reading"], QString());
        QCOMPARE(line["status"], QStringLiteral("串口打开失败！"));
    }
    const RecordFile::Line stop = record.lines().last();
    QCOMPARE(stop["passes"], QStringLiteral("1"));
    QCOMPARE(stop["steps"], QStringLiteral("11"));
    QCOMPARE(stop["failures"], QStringLiteral("6"));
    QCOMPARE(stop["failure_rate"], QStringLiteral("54.5%")); // 6 of 11
}

// Stopped and started again in the wait after step 4 of pass 3: the old
// test's totals go to the record at the new start, and the rest of pass 3,
// which now belongs to the new test, is its pass 1, while the new test's
// passes run inside its waits. Step 7 fails in every pass, so the record
// shows each pass's number once.
void AutoTestTest::stopAndStartDuringPass()
{
    const TemporaryRecord recordFile;
    FormHarness harness;
    harness.form->recordTo(recordFile.path);
    harness.takeReferences();
    harness.setText(QStringLiteral("txtZiFu_7"), QStringLiteral("x"));
    LogHistory history(harness);
    int passesStarted = 0;
    int depth = 0;
    int maxDepth = 0;
    harness.reader.setOnCall([&](const QString &call) {
        if (call == QStringLiteral("request(0,0)")) {
            ++passesStarted;
            maxDepth = std::max(maxDepth, ++depth);
        } else if (call == QStringLiteral("request(0,10)")) {
            --depth;
        } else if (call == QStringLiteral("request(0,4)") && passesStarted == 3 && depth == 1) {
            QTimer::singleShot(0, harness.form.get(), [&harness] {
                harness.click(QStringLiteral("cmdZiDongCeShi"));
                harness.click(QStringLiteral("cmdZiDongCeShi"));
            });
        }
    });
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(passesStarted >= 7, 10000);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    // The stop line is written once the last pass has ended.
    QTRY_VERIFY_WITH_TIMEOUT(RecordFile(recordFile.path).events(QStringLiteral("stop")).size() == 2, 10000);
    QCOMPARE(depth, 0);
    harness.reader.setOnCall({});

    QCOMPARE(maxDepth, 2);
    QCOMPARE(harness.reader.count(QStringLiteral("initCom")), 2);
    // A nested pass cleared the log and logged all eleven steps; the
    // interrupted pass then appended its own later steps after them.
    const QString nested = fullPassLog([](int step) {
        return line(step, step != 7, kStandardHex[std::size_t(step)]);
    });
    const bool appended = std::ranges::any_of(history.states, [&nested](const QString &state) {
        if (!state.startsWith(nested))
            return false;
        for (int step = 5; step <= 10; ++step)
            if (state.mid(nested.size()).startsWith(QStringLiteral("第%1步").arg(step)))
                return true;
        return false;
    });
    QVERIFY(appended);

    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QList<QStringList> passesOfRun; // the pass numbers of each test's step 7 failures, as recorded
    for (const RecordFile::Line &line : record.lines()) {
        if (line["event"] == QStringLiteral("start"))
            passesOfRun.append(QStringList());
        else if (line["event"] == QStringLiteral("fail") && line["step"] == QStringLiteral("7"))
            passesOfRun.last() << line["pass"];
    }
    QCOMPARE(passesOfRun.size(), 2);
    QCOMPARE(passesOfRun[0], (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    // Nested passes log before the pass they ran in: sorted, the numbers are
    // those of the new test's passes, from 1 on, each once.
    QStringList numbers = passesOfRun[1];
    std::ranges::sort(numbers, {}, [](const QString &number) { return number.toInt(); });
    QVERIFY2(numbers.size() >= 4, qPrintable(numbers.join(u' ')));
    for (qsizetype i = 0; i < numbers.size(); ++i)
        QVERIFY2(numbers[i] == QString::number(i + 1), qPrintable(passesOfRun[1].join(u' ')));
    // The old test ended with two whole passes and steps 0 to 4 of the third.
    const RecordFile::Line firstStop = record.events(QStringLiteral("stop")).first();
    QCOMPARE(firstStop["passes"], QStringLiteral("2"));
    QCOMPARE(firstStop["steps"], QStringLiteral("27"));
    QCOMPARE(firstStop["failures"], QStringLiteral("2"));
}

void AutoTestTest::readAllDuringPass()
{
    FormHarness harness;
    harness.takeReferences();
    clickLater(harness, QStringLiteral("request(0,3)"), QStringLiteral("cmdReadAll"));
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(harness.reader.count(QStringLiteral("closePort")) == 1, 5000);
    QCOMPARE(harness.boxes, QStringList{QStringLiteral("串口已经打开，可直接操作")});
    QCOMPARE(harness.form->port().error_com(), 1);

    // The test goes on with the port closed: every later step fails unread.
    LogHistory history(harness);
    QTRY_VERIFY_WITH_TIMEOUT(passLogs(history.states).size() >= 2, 5000);
    QCOMPARE(passLogs(history.states).at(1), fullPassLog([](int step) { return line(step, false, {}); }));
    const qsizetype requests = harness.reader.count(QStringLiteral("request"));
    QCOMPARE(requests, 4 + 11);

    // Stopping now closes nothing and says nothing.
    harness.setText(QStringLiteral("Label_RetInfo"), QStringLiteral("-"));
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.status(), QStringLiteral("-"));
    QCOMPARE(harness.reader.count(QStringLiteral("closePort")), 1);
    QTRY_VERIFY(!timer1(harness)->isActive());
}

void AutoTestTest::typedLogTextKept()
{
    FormHarness harness;
    harness.takeReferences();
    bool typed = false;
    harness.reader.setOnCall([&](const QString &call) {
        if (call == QStringLiteral("request(0,1)") && !typed) {
            typed = true;
            QTimer::singleShot(0, harness.form.get(), [&harness] {
                auto *log = harness.child<QPlainTextEdit>(QStringLiteral("txtTestResult"));
                log->moveCursor(QTextCursor::End);
                log->insertPlainText(QStringLiteral("note"));
            });
        }
        if (call == QStringLiteral("request(0,10)") && typed)
            QTimer::singleShot(0, harness.form.get(), [&harness] { harness.click(QStringLiteral("cmdZiDongCeShi")); });
    });
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(!timer1(harness)->isActive() && typed, 5000);
    QTest::qWait(50);
    const QString log = harness.text(QStringLiteral("txtTestResult"));
    QVERIFY2(log.contains(u'\n' + QStringLiteral("note") + line(2, true, kStandardHex[2]) + u'\n'), qPrintable(log));
}

// The log repaints only its new lines and the window repaints at most once a
// frame; what the screen holds after a pass must still be exactly what a full
// repaint of the window shows.
void AutoTestTest::screenShowsEveryChange()
{
    FormHarness harness;
    harness.takeReferences();
    harness.setText(QStringLiteral("txtZiFu_6"), QStringLiteral("0"));
    runOnePass(harness);
    QTest::qWait(150); // longer than a frame: every change has been painted
    // What the window last painted (the offscreen screen grabs its backing store).
    const QImage screen = harness.form->screen()->grabWindow(harness.form->winId()).toImage();
    for (const QString &name : {QStringLiteral("txtTestResult"), QStringLiteral("lblCount"),
                                QStringLiteral("Label_RetInfo"), QStringLiteral("Shape1")}) {
        QWidget *widget = harness.child(name);
        const QRect area(widget->mapTo(harness.form.get(), QPoint(0, 0)), widget->size());
        QCOMPARE(screen.copy(area).convertToFormat(QImage::Format_RGB32),
                 widget->grab().toImage().convertToFormat(QImage::Format_RGB32));
    }
}

// A running test changes the counter about every 11 ms, and a loaded machine
// delivers changes in bursts; the window paints what changed at most once
// per 40 ms frame. Changes made back to back, each followed by the event
// processing that would paint it, take far less than a frame each on any
// machine the tests run on: a window painting every change paints them all.
void AutoTestTest::repaintsAtMostOnceAFrame()
{
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    FormHarness harness;
    auto *count = harness.child<QLabel>(QStringLiteral("lblCount"));
    count->installEventFilter(&counter);
    constexpr int kChanges = 200;
    for (int change = 1; change <= kChanges; ++change) {
        count->setText(QString::number(change));
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY(counter.paints >= 1);
    count->removeEventFilter(&counter);
    QVERIFY2(counter.paints <= kChanges / 10, qPrintable(QStringLiteral("%1 paints of %2 changes").arg(counter.paints).arg(kChanges)));
}

void AutoTestTest::closingDuringPassEndsTheProgram()
{
    const TemporaryRecord recordFile;
    QProcess host;
    host.setProcessChannelMode(QProcess::SeparateChannels);
    // The platform on the command line: under Wine no QT_* variable reaches
    // a Windows program.
    host.start(QStringLiteral(KV_FORM_HOST), {QStringLiteral("close-during-pass"), recordFile.path,
                                              QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(host.waitForFinished(20000));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 0);
    // Line ends are \r\n on Windows.
    const QStringList lines =
        QString::fromUtf8(host.readAllStandardOutput()).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
    const qsizetype closeAt = lines.indexOf(QStringLiteral("closePort()"), lines.indexOf(QStringLiteral("initCom(0,2,19200)"), 1));
    QVERIFY2(lines.contains(QStringLiteral("closing")), qPrintable(lines.join(u'\n')));
    // After the close request: exactly one close call, then nothing at all.
    QCOMPARE(lines.last(), QStringLiteral("closePort()"));
    QCOMPARE(lines.indexOf(QStringLiteral("closing")), lines.size() - 2);
    QVERIFY(closeAt == lines.size() - 1);

    // The program ended in the middle of pass 1, after steps 0 to 4, all
    // passed: the record's last line holds those totals.
    const RecordFile record(recordFile.path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    QVERIFY(!record.lines().isEmpty());
    const RecordFile::Line last = record.lines().last();
    QCOMPARE(last["event"], QStringLiteral("stop"));
    QCOMPARE(last["passes"], QStringLiteral("0"));
    QCOMPARE(last["steps"], QStringLiteral("5"));
    QCOMPARE(last["failures"], QStringLiteral("0"));
    QCOMPARE(record.events(QStringLiteral("start")).size(), 1);
}

// The totals follow a running test a few times a second, show their final
// values at the stop, and stay until a start that really starts.
void AutoTestTest::statisticsFollowStartAndStop()
{
    FormHarness harness;
    harness.takeReferences();
    // What the steps label showed at each library call of the run.
    QStringList shown;
    harness.reader.setOnCall([&harness, &shown](const QString &) {
        const QString now = harness.text(QStringLiteral("lblStatSteps"));
        if (shown.isEmpty() || shown.last() != now)
            shown << now;
    });
    QElapsedTimer clock;
    clock.start();
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(harness.reader.count(QStringLiteral("request")) >= 11 * 12, 10000);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    const qint64 elapsed = clock.elapsed();
    harness.reader.setOnCall({});
    QVERIFY2(shown.size() <= elapsed / 250 + 2, qPrintable(shown.join(u' ')));

    // The stop came between two passes: every pass is complete, and all passed.
    const qint64 requests = harness.reader.count(QStringLiteral("request"));
    QCOMPARE(requests % 11, 0);
    QCOMPARE(harness.text(QStringLiteral("lblStatSteps")), QString::number(requests));
    QCOMPARE(harness.text(QStringLiteral("lblStatPasses")), QString::number(requests / 11));
    QCOMPARE(harness.text(QStringLiteral("lblStatFailures")), QStringLiteral("0"));
    QCOMPARE(harness.text(QStringLiteral("lblStatRate")), QStringLiteral("0%"));
    QCOMPARE(harness.text(QStringLiteral("lblStatLastFailure")), QString());
    // The clock ran from the start to the stop, both within `elapsed`.
    const QString runTime = harness.text(QStringLiteral("lblStatElapsed"));
    const QRegularExpressionMatch seconds = QRegularExpression(QStringLiteral("^0:00:(\\d\\d)$")).match(runTime);
    QVERIFY2(seconds.hasMatch() && seconds.captured(1).toInt() <= elapsed / 1000, qPrintable(runTime));

    // A start whose open fails starts nothing: the totals and the stopped
    // clock stay.
    harness.reader.setStatus(QStringLiteral("initCom"), 1);
    QTest::qWait(1100);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.text(QStringLiteral("cmdZiDongCeShi")), QStringLiteral("自动测试开始"));
    QCOMPARE(harness.text(QStringLiteral("lblStatSteps")), QString::number(requests));
    QCOMPARE(harness.text(QStringLiteral("lblStatElapsed")), runTime);

    // One failed step: the start resets, and the failure is shown whole, at
    // the local time of day. A zone eight hours from UTC (a POSIX rule, which
    // needs no zone files) tells local time from UTC.
    std::optional<TimeZoneSetting> zone(std::in_place, "CST-8");
    harness.reader.setStatus(QStringLiteral("initCom"), 0);
    harness.setText(QStringLiteral("txtZiFu_4"), QStringLiteral("5544332299"));
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QCOMPARE(harness.text(QStringLiteral("lblStatSteps")), QStringLiteral("0"));
    QTRY_VERIFY_WITH_TIMEOUT(harness.text(QStringLiteral("lblStatFailures")) != QStringLiteral("0"), 5000);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    const QTime localNow = QDateTime::currentDateTimeUtc().toLocalTime().time();
    zone.reset();
    const QStringList lastFailure = harness.text(QStringLiteral("lblStatLastFailure")).split(u'\n');
    QCOMPARE(lastFailure.size(), 3);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} 第4步$")).match(lastFailure[0]).hasMatch(),
             qPrintable(lastFailure[0]));
    const QTime shownAt = QTime::fromString(lastFailure[0].left(12), QStringLiteral("HH:mm:ss.zzz"));
    const int secondsAgo = (shownAt.secsTo(localNow) + 86400) % 86400;
    QVERIFY2(secondsAgo < 60, qPrintable(lastFailure[0] + QStringLiteral(" at ") + localNow.toString()));
    QCOMPARE(lastFailure[1], QStringLiteral("读数 ") + kStandardHex[4]);
    QCOMPARE(lastFailure[2], QStringLiteral("参考 5544332299"));
    QVERIFY(harness.boxes.isEmpty());
}

// The totals of a running test on a clock the test sets: brought up to date
// at most once in 250 ms, and at once whenever that is asked for (a start, a
// stop, a step after the stop). One step is counted before each showing.
void AutoTestTest::statisticsEveryQuarterSecond()
{
    FormHarness harness;
    StatisticsFrame frame(*harness.form);
    const TestStatistics::Clock::time_point started{std::chrono::hours(5)};
    TestStatistics totals;
    totals.start(started);
    struct Showing
    {
        int ms;            // since the start
        bool atOnce;
        const char *steps; // the steps label afterwards
        const char *elapsed;
    };
    const Showing showings[] = {
        {0, true, "1", "0:00:00"},         // the start
        {100, false, "1", "0:00:00"},      // within 250 ms of the last: unchanged
        {249, false, "1", "0:00:00"},
        {250, false, "4", "0:00:00"},      // 250 ms after it
        {400, true, "5", "0:00:00"},       // at once
        {649, false, "5", "0:00:00"},      // within 250 ms of that
        {650, false, "7", "0:00:00"},
        {61650, false, "8", "0:01:01"},
        {61700, true, "9", "0:01:01"},
        {3661700, false, "10", "1:01:01"},
    };
    for (const Showing &showing : showings) {
        totals.countPassedStep();
        frame.show(totals, started + std::chrono::milliseconds(showing.ms), showing.atOnce);
        QCOMPARE(harness.text(QStringLiteral("lblStatSteps")), QString::fromLatin1(showing.steps));
        QCOMPARE(harness.text(QStringLiteral("lblStatElapsed")), QString::fromLatin1(showing.elapsed));
    }
}

void AutoTestTest::recordThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content"); // of a file that is there already
    QTest::newRow("missing folder") << QStringLiteral("/no/such/folder/record.csv") << QByteArray();
    QTest::newRow("a folder") << QDir::tempPath() << QByteArray();
#if !defined(Q_OS_WIN)
    QTest::newRow("disk full") << QStringLiteral("/dev/full") << QByteArray();
#endif
    // Lines of this layout would not match the header of a record of an
    // earlier version, nor make sense in a file that is no record at all.
    QTest::newRow("earlier layout")
        << QStringLiteral("earlier.csv")
        << QByteArray("\xEF\xBB\xBFtime,event,pass,step,reference,reading,status,passes,steps,failures,failure_rate,"
                      "elapsed\r\n2026-12-07 18:13:38.508,start,,,,,ok,,,,,\r\n");
    QTest::newRow("not a record") << QStringLiteral("notes.csv") << QByteArray("name,phone\r\n");
}

// A record that cannot be written is said once, and the program goes on
// without it; a file that is there is left as it was.
void AutoTestTest::recordThatCannotBeWritten()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QTemporaryDir folder;
    if (!content.isEmpty()) {
        path = folder.filePath(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    FormHarness harness;
    harness.form->recordTo(path);
    QCOMPARE(harness.boxes.size(), 1);
    // The box names the file as the system writes paths (backslashes on Windows).
    QVERIFY2(harness.boxes[0].contains(QDir::toNativeSeparators(path)), qPrintable(harness.boxes[0]));
    harness.takeReferences();
    runOnePass(harness);
    QCOMPARE(harness.text(QStringLiteral("lblStatPasses")), QStringLiteral("1"));
    QCOMPARE(harness.boxes.size(), 1);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

// A pass whose step 4 misreads (a wrong reference), whose step 7 reads
// nothing, and whose step 8 meets the reader lost, back at step 9: each
// failure counts as its kind and at its step, in the frame and in the
// record, which also marks the loss and the return; the frame shows the
// return, and a problem the library tells meanwhile waits for nobody.
void AutoTestTest::failureKindsAndTheLink()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("record.csv"));
    FormHarness harness;
    harness.form->recordTo(path);
    harness.takeReferences();
    harness.setText(QStringLiteral("txtZiFu_4"), QStringLiteral("5544332299"));
    for (int step = 0; step <= 10; ++step)
        harness.reader.queueStatus(QStringLiteral("request"), step == 7 || step == 8 ? 3 : 0);
    bool stopped = false;
    harness.reader.setOnCall([&harness, &stopped](const QString &call) {
        if (call == QStringLiteral("request(0,8)"))
            harness.form->linkChanged(false, QStringLiteral("port 2: the reader was lost"));
        if (call == QStringLiteral("request(0,9)")) {
            harness.form->linkChanged(true, QStringLiteral("port 2: the reader is back"));
            // What the library says while a test runs waits for nobody.
            harness.form->showLibraryProblem(QStringLiteral("port 2: permission denied"));
        }
        if (call == QStringLiteral("request(0,10)") && !stopped) {
            stopped = true;
            QTimer::singleShot(0, harness.form.get(), [&harness] { harness.click(QStringLiteral("cmdZiDongCeShi")); });
        }
    });
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(stopped && !timer1(harness)->isActive(), 5000);
    QTest::qWait(50);
    harness.reader.setOnCall({});

    QCOMPARE(harness.text(QStringLiteral("lblStatFailures")), QStringLiteral("3"));
    QCOMPARE(harness.text(QStringLiteral("lblStatNoRead")), QStringLiteral("1"));
    QCOMPARE(harness.text(QStringLiteral("lblStatWrongRead")), QStringLiteral("1"));
    QCOMPARE(harness.text(QStringLiteral("lblStatPortClosed")), QStringLiteral("1"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                 .match(harness.text(QStringLiteral("lblStatFirstFailure")))
                 .hasMatch(),
             qPrintable(harness.text(QStringLiteral("lblStatFirstFailure"))));
    QVERIFY2(harness.text(QStringLiteral("lblStatLink")).startsWith(QStringLiteral("读卡器恢复\n")),
             qPrintable(harness.text(QStringLiteral("lblStatLink"))));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QStringList events;
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = line.split(u',');
        events << fields[1] + u' ' + (fields[1] == QLatin1String("fail") ? fields[3] + u' ' + fields[12] : fields[6]);
    }
    QCOMPARE(events, (QStringList{QStringLiteral("start 串口打开成功！"), QStringLiteral("fail 4 wrong_reading"),
                                  QStringLiteral("fail 7 no_reading"), QStringLiteral("lost port 2: the reader was lost"),
                                  QStringLiteral("fail 8 port_not_open"), QStringLiteral("back port 2: the reader is back"),
                                  QStringLiteral("stop ")}));
    // The stop line: no reading, wrong reading and port not open once each,
    // at steps 7, 4 and 8.
    const QStringList stop = lines.last().split(u',');
    QCOMPARE(stop.mid(13, 3), (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")}));
    QCOMPARE(lines.last().section(u'"', 1, 1), QStringLiteral("0,0,0,0,1,0,0,1,1,0,0"));
    QVERIFY(harness.boxes.isEmpty());
    QCOMPARE(harness.notices.size(), 1);
    QVERIFY(harness.notices[0].contains(QStringLiteral("permission denied")));
}

QTEST_MAIN(AutoTestTest)
#include "test_autotest.moc"
