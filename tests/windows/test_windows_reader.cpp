// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <io.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include "Form1.h"
#include "LibraryReader.h"
#include "PreciseWake.h"
#include "StandardCard.h"

using namespace kv;

// The Windows build on the simulated reader built as a 64-bit DLL, in
// process: the real window and the real binding, which asks Windows for the
// bare name Veltronanew125K.dll and finds the copy in this program's folder.
class TestWindowsReader : public QObject
{
    Q_OBJECT

private slots:
    void readAllFillsEveryBoxFromTheDllBesideTheProgram();
    void missingLibraryNamesTheWindowsFix();
    void preciseWakeEndsOnTime();
};

namespace {

// What the calls made by `action` write to standard error.
template<typename Action>
QString capturedStandardError(Action action)
{
    QTemporaryFile captured;
    if (!captured.open())
        qFatal("no temporary file");
    std::fflush(stderr);
    const int saved = _dup(_fileno(stderr));
    _dup2(captured.handle(), _fileno(stderr));
    action();
    std::fflush(stderr);
    _dup2(saved, _fileno(stderr));
    _close(saved);
    captured.seek(0);
    return QString::fromLocal8Bit(captured.readAll());
}

template<typename T>
T *control(const Form1 &form, const QString &name)
{
    T *widget = form.findChild<T *>(name);
    if (!widget)
        qFatal("no control named %s", qPrintable(name));
    return widget;
}

} // namespace

void TestWindowsReader::readAllFillsEveryBoxFromTheDllBesideTheProgram()
{
    LibraryReader reader;
    QStringList boxes;
    Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; }, [] {}, {}});
    reader.setMissNotifier([&boxes](const LibraryReader::Miss &miss) { boxes << miss.what + miss.reason; });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QString output = capturedStandardError(
        [&] { QTest::mouseClick(control<QPushButton>(form, QStringLiteral("cmdReadAll")), Qt::LeftButton); });

    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("reader library loaded from (.+?)\\r?$"), QRegularExpression::MultilineOption)
            .match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    const QFileInfo loaded(match.captured(1));
    QVERIFY(loaded.isAbsolute());
    QCOMPARE(loaded.fileName().toLower(), QStringLiteral("veltronanew125k.dll"));
    QCOMPARE(loaded.canonicalPath().toLower(),
             QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath().toLower());

    const QList<QByteArray> replies = standardCardReplies();
    const std::array<int, 5> textFormats{0, 1, 2, 9, 10};
    for (int format = 0; format < replies.size(); ++format) {
        QCOMPARE(control<QLineEdit>(form, QStringLiteral("txtZiFu_%1").arg(format))->text(),
                 QString::fromLatin1(replies[format].toHex().toUpper()));
        if (const auto box = std::ranges::find(textFormats, format); box != textFormats.end())
            QCOMPARE(control<QLineEdit>(form, QStringLiteral("txtZiFu2_%1").arg(box - textFormats.begin()))->text(),
                     QString::fromLatin1(replies[format]));
    }
    QCOMPARE(control<QLabel>(form, QStringLiteral("lblCount"))->text(), QStringLiteral("11"));
    QCOMPARE(control<QLabel>(form, QStringLiteral("Label_RetInfo"))->text(), QStringLiteral("串口关闭成功！"));
    QCOMPARE(boxes, QStringList());
}

void TestWindowsReader::missingLibraryNamesTheWindowsFix()
{
    LibraryReader reader(QStringLiteral("kv718st-no-such-reader.dll"));
    QStringList boxes;
    Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; }, [] {}, {}});
    reader.setMissNotifier([&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
    QTest::mouseClick(control<QPushButton>(form, QStringLiteral("cmdReadVersion")), Qt::LeftButton);

    QCOMPARE(boxes.size(), 1);
    const QString &text = boxes.front();
    QVERIFY2(text.contains(QStringLiteral("kv718st-no-such-reader.dll")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Windows error 126")), qPrintable(text)); // module not found
    QVERIFY2(text.contains(QStringLiteral("Veltronanew125K.dll")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("环境变量 PATH")) && !text.contains(QStringLiteral("LD_LIBRARY_PATH")),
             qPrintable(text));
}

// Waits of the automatic test's sizes, each ended by a PreciseWake alone (the
// backstop timer is far later): they must end well within the 15.6 ms system
// timer tick that ordinary Windows timers keep to. The figures are printed.
void TestWindowsReader::preciseWakeEndsOnTime()
{
    using Clock = PreciseWake::Clock;
    requestPreciseWakeups();
    const auto made = Clock::now();
    PreciseWake wake;
    const double makingMs = std::chrono::duration<double, std::milli>(Clock::now() - made).count();
    std::vector<double> lateMs;
    for (int i = 0; i < 40; ++i) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(1 + i % 10);
        wake.arm(deadline);
        // A wake that never comes still ends the wait, and shows as 50 ms late.
        QTimer backstop;
        backstop.setSingleShot(true);
        backstop.start(std::chrono::milliseconds(60 + i % 10));
        QEventLoop loop;
        while (Clock::now() < deadline)
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        lateMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - deadline).count());
    }
    std::ranges::sort(lateMs);
    const double median = lateMs[lateMs.size() / 2];
    const double p90 = lateMs[lateMs.size() * 9 / 10];
    qInfo("precise wake made in %.3f ms; lateness over %zu waits: median %.3f ms, 90th percentile %.3f ms, "
          "worst %.3f ms",
          makingMs, lateMs.size(), median, p90, lateMs.back());
    QVERIFY2(median < 4.0, qPrintable(QString::number(median)));
    QVERIFY2(p90 < 8.0, qPrintable(QString::number(p90)));
}

QTEST_MAIN(TestWindowsReader)
#include "test_windows_reader.moc"
