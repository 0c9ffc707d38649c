// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <bit>
#include <cmath>

#include "Form1.h"
#include "LibraryReader.h"
#include "RecordFile.h"
#include "StandardCard.h"

using namespace kv;

// The automatic test for a few hundred passes on the simulated reader, loaded
// by the tool's own binding, in the real window driven by real clicks and real
// timer ticks. The reader's options (set by the build) make about 2% of the
// card reads fail and 2% come back with one bit of the card ID flipped, from
// the 12th read on, so that read-all's 11 reads give perfect references.
//
// Every pass clears the log, so what the log showed is tallied as its lines
// appear; the totals in the statistics frame and the record file must say the
// same.
class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void verdictsHoldOverManyPasses();
    void restartDuringPassStartsNewTotals();

private:
    QTemporaryDir m_folder;
    QString m_recordPath;
};

namespace {

constexpr qsizetype kPasses = 200;
constexpr int kSteps = 11;

const QString kStopped = QStringLiteral("自动测试开始");
const QString kRunning = QStringLiteral("自动测试关闭");

// One line of a pass log, taken apart.
struct LogLine
{
    int step = -1;
    bool passed = false;
    QString card;
};

std::optional<LogLine> parsed(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^第(\\d+)步测试(成功|错误)，卡号为([0-9A-F]*)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return LogLine{match.captured(1).toInt(), match.captured(2) == QStringLiteral("成功"), match.captured(3)};
}

// Bits in which two readings of the same length differ.
int differingBits(const QString &a, const QString &b)
{
    const QByteArray x = QByteArray::fromHex(a.toLatin1());
    const QByteArray y = QByteArray::fromHex(b.toLatin1());
    int bits = 0;
    for (qsizetype i = 0; i < x.size(); ++i)
        bits += std::popcount(std::uint8_t(x[i] ^ y[i]));
    return bits;
}

template<typename T>
T *control(const QObject &form, const QString &name)
{
    T *found = form.findChild<T *>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

QString labelText(const QObject &form, const char *name) { return control<QLabel>(form, QString::fromLatin1(name))->text(); }

// What the log showed since a start, line by line as the lines appeared.
struct Tally
{
    qint64 passes = 0;
    qint64 steps = 0;
    qint64 failures = 0;
    QList<std::pair<int, QString>> failed; // step and card number of each failed line
};

// Watches the log and adds each new line to the current tally; next() begins
// a new one, as a start of the test does.
class LogTally
{
public:
    explicit LogTally(QPlainTextEdit *log) : m_log(log)
    {
        m_connection = QObject::connect(log, &QPlainTextEdit::textChanged, log, [this] { take(); });
    }
    ~LogTally() { QObject::disconnect(m_connection); }
    LogTally(const LogTally &) = delete;
    LogTally &operator=(const LogTally &) = delete;

    void next() { tallies.push_back({}); }

    QList<Tally> tallies{Tally{}};
    QStringList unparsed;

private:
    void take()
    {
        const QStringList lines = m_log->toPlainText().split(u'\n');
        const qsizetype complete = lines.size() - 1; // the text after the last line break is not a line yet
        if (complete < m_seen)
            m_seen = 0; // a new pass cleared the log
        for (; m_seen < complete; ++m_seen) {
            const std::optional<LogLine> line = parsed(lines[m_seen]);
            if (!line) {
                unparsed << lines[m_seen];
                continue;
            }
            Tally &tally = tallies.back();
            ++tally.steps;
            if (!line->passed) {
                ++tally.failures;
                tally.failed.append({line->step, line->card});
            }
            tally.passes += line->step == 10;
        }
    }

    QPlainTextEdit *m_log;
    QMetaObject::Connection m_connection;
    qsizetype m_seen = 0;
};

// The window on the simulated reader, recording to `record`, with its boxes
// and its end counted.
struct SoakWindow
{
    explicit SoakWindow(const QString &record)
        : form(reader, {[this](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; },
                        [this] { ++endings; }, {}})
    {
        reader.setMissNotifier([this](const LibraryReader::Miss &miss) { misses << miss.what; });
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            qFatal("the window was never exposed");
        form.recordTo(record);
    }
    void click(const char *name) { QTest::mouseClick(control<QPushButton>(form, QString::fromLatin1(name)), Qt::LeftButton); }
    QPlainTextEdit *log() { return control<QPlainTextEdit>(form, QStringLiteral("txtTestResult")); }
    QTimer *timer() { return control<QTimer>(form, QStringLiteral("Timer1")); }
    QString toggle() { return control<QPushButton>(form, QStringLiteral("cmdZiDongCeShi"))->text(); }
    // Stops the test and waits until its last pass has ended.
    void stop()
    {
        click("cmdZiDongCeShi");
        QTRY_VERIFY(!timer()->isActive());
        // A pass that was running logs its remaining steps, up to the last.
        QTRY_VERIFY_WITH_TIMEOUT(log()->toPlainText().contains(QStringLiteral("第10步")), 10000);
    }

    LibraryReader reader;
    QStringList boxes;
    QStringList misses;
    int endings = 0;
    Form1 form;
};

// The failed steps the log showed, by kind: an empty card number was no
// reading, any other a wrong one (the port stays open in these tests).
std::pair<qsizetype, qsizetype> kinds(const Tally &tally)
{
    qsizetype noReading = 0;
    for (const auto &failed : tally.failed)
        noReading += failed.second.isEmpty() ? 1 : 0;
    return {noReading, tally.failed.size() - noReading};
}

// The failed steps the log showed, by step, as the record writes them.
QString failuresByStep(const Tally &tally)
{
    std::array<int, 11> counts{};
    for (const auto &failed : tally.failed)
        ++counts.at(static_cast<std::size_t>(failed.first));
    QStringList texts;
    for (const int count : counts)
        texts << QString::number(count);
    return texts.join(u',');
}

// The statistics labels show the tally.
void compareLabels(const QObject &form, const Tally &tally)
{
    QCOMPARE(labelText(form, "lblStatPasses"), QString::number(tally.passes));
    QCOMPARE(labelText(form, "lblStatSteps"), QString::number(tally.steps));
    QCOMPARE(labelText(form, "lblStatFailures"), QString::number(tally.failures));
    const auto [noReading, wrongReading] = kinds(tally);
    QCOMPARE(labelText(form, "lblStatNoRead"), QString::number(noReading));
    QCOMPARE(labelText(form, "lblStatWrongRead"), QString::number(wrongReading));
    QCOMPARE(labelText(form, "lblStatPortClosed"), QStringLiteral("0"));
}

// The record's lines from `first` on hold the runs of `tallies` in order: a
// start, a fail line for every failed log line with its step and reading, a
// stop with the tally's totals.
void compareRecord(const RecordFile &record, qsizetype first, const QList<Tally> &tallies)
{
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    const QList<RecordFile::Line> &lines = record.lines();
    qsizetype row = first;
    for (const Tally &tally : tallies) {
        QVERIFY(row < lines.size());
        QCOMPARE(lines[row]["event"], QStringLiteral("start"));
        QCOMPARE(lines[row]["status"], QStringLiteral("串口打开成功！"));
        ++row;
        for (const auto &[step, card] : tally.failed) {
            QVERIFY2(row < lines.size(), "fewer fail lines than failed steps");
            const RecordFile::Line &fields = lines[row++];
            QCOMPARE(fields["event"], QStringLiteral("fail"));
            QCOMPARE(fields["step"], QString::number(step));
            QCOMPARE(fields["reading"], card);
            // The status line after the read says why a reading is missing.
            QCOMPARE(fields["status"], card.isEmpty() ? QStringLiteral("寻卡操作失败！") : QStringLiteral("寻卡成功！"));
            QCOMPARE(fields["kind"], card.isEmpty() ? QStringLiteral("no_reading") : QStringLiteral("wrong_reading"));
        }
        QVERIFY(row < lines.size());
        const RecordFile::Line &stop = lines[row++];
        QCOMPARE(stop["event"], QStringLiteral("stop"));
        QCOMPARE(stop["passes"], QString::number(tally.passes));
        QCOMPARE(stop["steps"], QString::number(tally.steps));
        QCOMPARE(stop["failures"], QString::number(tally.failures));
        const auto [noReading, wrongReading] = kinds(tally);
        QCOMPARE(stop["no_reading"], QString::number(noReading));
        QCOMPARE(stop["wrong_reading"], QString::number(wrongReading));
        QCOMPARE(stop["port_not_open"], QStringLiteral("0"));
        QCOMPARE(stop["failures_by_step"], failuresByStep(tally));
    }
    QCOMPARE(row, lines.size());
}

// Whether `text` is the failed share of the steps as a percentage to three
// significant digits: at most three of them, and off by at most half a unit
// of the last.
bool isFailureRate(const QString &text, qint64 failures, qint64 steps)
{
    if (!text.endsWith(u'%'))
        return false;
    const QString number = text.chopped(1);
    bool ok = false;
    const double shown = number.toDouble(&ok);
    QString digits = number;
    digits.remove(u'.');
    while (digits.startsWith(u'0'))
        digits.remove(0, 1);
    while (digits.size() > 1 && digits.endsWith(u'0') && number.contains(u'.'))
        digits.chop(1);
    const double exact = 100.0 * double(failures) / double(steps);
    // The value of a unit in the third significant digit.
    const double unit = std::pow(10.0, std::floor(std::log10(exact)) - 2);
    return ok && digits.size() <= 3 && std::abs(shown - exact) <= unit / 2 + 1e-12;
}
} // namespace

void SoakTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    // One record for all the tests: every run appends to it.
    m_recordPath = m_folder.filePath(QStringLiteral("record.csv"));
}

void SoakTest::verdictsHoldOverManyPasses()
{
    SoakWindow window(m_recordPath);
    Form1 &form = window.form;
    LogTally tally(window.log());

    auto *log = control<QPlainTextEdit>(form, QStringLiteral("txtTestResult"));
    auto *toggle = control<QPushButton>(form, QStringLiteral("cmdZiDongCeShi"));
    auto *counter = control<QLabel>(form, QStringLiteral("lblCount"));
    auto *timer = control<QTimer>(form, QStringLiteral("Timer1"));

    // Every pass clears the log first: the state just before a clearing is a
    // complete pass log.
    QStringList passes;
    QString previous;
    // Disconnected when this function returns, before the window goes.
    const QObject recorder;
    connect(log, &QPlainTextEdit::textChanged, &recorder, [&] {
        const QString now = log->toPlainText();
        if (now.isEmpty() && !previous.isEmpty())
            passes << previous;
        previous = now;
    });

    // The references: read-all's 11 reads come before the first fault.
    QTest::mouseClick(control<QPushButton>(form, QStringLiteral("cmdReadAll")), Qt::LeftButton);
    QCOMPARE(control<QLabel>(form, QStringLiteral("Label_RetInfo"))->text(), QStringLiteral("串口关闭成功！"));
    QCOMPARE(counter->text(), QStringLiteral("11"));
    std::array<QString, kSteps> references;
    for (int step = 0; step < kSteps; ++step) {
        references[std::size_t(step)] = control<QLineEdit>(form, QStringLiteral("txtZiFu_%1").arg(step))->text().trimmed();
        QCOMPARE(references[std::size_t(step)], kStandardHex[std::size_t(step)]);
    }

    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), kRunning);
    // A pass takes about 120 ms.
    QTRY_VERIFY_WITH_TIMEOUT(passes.size() >= kPasses, 150000);
    const qsizetype soaked = passes.size();
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), kStopped);
    QTRY_VERIFY(!timer->isActive());
    QTest::qWait(50);
    QVERIFY(!timer->isActive());
    passes << log->toPlainText(); // the last pass is never cleared

    int failures = 0; // failed reads: an error with no card number
    int misreads = 0; // an error with a card number that is not the reference
    int successfulReads = 0;
    for (qsizetype pass = 0; pass < passes.size(); ++pass) {
        const QStringList lines = passes[pass].split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == kSteps, qPrintable(QStringLiteral("pass %1:\n%2").arg(pass).arg(passes[pass])));
        for (int step = 0; step < kSteps; ++step) {
            const QString where = QStringLiteral("pass %1: %2").arg(pass).arg(lines[step]);
            const std::optional<LogLine> line = parsed(lines[step]);
            QVERIFY2(line, qPrintable(where));
            QVERIFY2(line->step == step, qPrintable(where));
            const QString &reference = references[std::size_t(step)];
            QVERIFY2(line->passed == (line->card == reference), qPrintable(where));
            successfulReads += !line->card.isEmpty();
            if (pass >= soaked || line->passed)
                continue;
            if (line->card.isEmpty()) {
                ++failures;
                continue;
            }
            ++misreads;
            // Raw formats show the one flipped bit of the card ID as it is.
            if (step >= 3 && step <= 8)
                QVERIFY2(line->card.size() == reference.size() && differingBits(line->card, reference) == 1,
                         qPrintable(where));
        }
    }
    qInfo("%lld passes, %d failed reads, %d visible misreads", qlonglong(passes.size()), failures, misreads);
    // Each 2% of some 2200 reads; a misread of a bit a format leaves out
    // does not show.
    QVERIFY(failures > 0);
    QVERIFY(misreads > 0);
    QVERIFY(failures + misreads < soaked * kSteps / 10);
    // Every successful read was counted once; after 1000 the counter starts again at 0.
    QCOMPARE(counter->text(), QString::number((11 + successfulReads) % 1001));

    // The totals are those of every line the log showed, and the record
    // holds exactly the failed ones.
    QVERIFY2(tally.unparsed.isEmpty(), qPrintable(tally.unparsed.join(u'\n')));
    QCOMPARE(tally.tallies.size(), 1);
    QCOMPARE(tally.tallies[0].passes, passes.size());
    compareLabels(form, tally.tallies[0]);
    const QString rate = labelText(form, "lblStatRate");
    QVERIFY2(isFailureRate(rate, tally.tallies[0].failures, tally.tallies[0].steps), qPrintable(rate));
    const RecordFile record(m_recordPath);
    QVERIFY(record.byteOrderMark()); // it tells spreadsheets UTF-8
    compareRecord(record, 0, tally.tallies);
    QCOMPARE(record.lines().last()["failure_rate"], rate);

    QVERIFY(window.boxes.isEmpty());
    QVERIFY(window.misses.isEmpty());
    QCOMPARE(window.endings, 0);
    form.close();
    QCOMPARE(window.endings, 1);
}

void SoakTest::restartDuringPassStartsNewTotals()
{
    SoakWindow window(m_recordPath);
    const qsizetype first = RecordFile(m_recordPath).lines().size();
    LogTally tally(window.log());
    window.click("cmdReadAll");
    window.click("cmdZiDongCeShi");
    QTRY_VERIFY_WITH_TIMEOUT(tally.tallies.last().passes >= 20, 30000);

    // Stop and start again in the wait after the fourth step of a pass: the
    // rest of that pass, and the passes the restart runs inside its waits,
    // count for the new run.
    bool restarted = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &watch, [&] {
        if (restarted || window.timer()->isActive() || window.log()->toPlainText().count(u'\n') < 4)
            return;
        restarted = true;
        window.click("cmdZiDongCeShi");
        tally.next();
        window.click("cmdZiDongCeShi");
        QCOMPARE(window.toggle(), kRunning);
        compareLabels(window.form, Tally{}); // new totals, shown at once
        QCOMPARE(labelText(window.form, "lblStatLastFailure"), QString());
    });
    watch.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(restarted, 10000);
    watch.stop();
    QTRY_VERIFY_WITH_TIMEOUT(tally.tallies.last().passes >= 20, 30000);
    window.stop();

    QVERIFY2(tally.unparsed.isEmpty(), qPrintable(tally.unparsed.join(u'\n')));
    QCOMPARE(tally.tallies.size(), 2);
    compareLabels(window.form, tally.tallies.last());
    const RecordFile record(m_recordPath);
    compareRecord(record, first, tally.tallies);
    // Runs and restarts add up in one file with one header.
    QCOMPARE(record.header().first(), QStringLiteral("time"));
    for (const RecordFile::Line &line : record.lines())
        QVERIFY(line["time"] != QStringLiteral("time"));
    QVERIFY(window.boxes.isEmpty());
}

QTEST_MAIN(SoakTest)
#include "test_soak.moc"
