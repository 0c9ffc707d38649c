// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "FormHarness.h"
#include "LibraryReader.h"
#include "LogBox.h"
#include "Shape.h"

using namespace kv;

// The main window: controls, initial state, start-up and shut-down.
class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void controlKinds_data();
    void controlKinds();
    void geometry_data();
    void geometry();
    void initialTexts_data();
    void initialTexts();
    void portList();
    void typedPortIsUsedAndNotAdded();
    void indicatorList();
    void portButtonsStayDisabled();
    void timerAndColours();
    void statusFont();
    void tabOrder();
    void closeRightAfterStart();
    void missingLibraryShownOnceAndNeverAtShutDown();
    void logKeepsItsScrollRange();
};

void WindowTest::controlKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const auto row = [](const char *name, const char *className) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className);
    };
    for (const char *frame : {"Frame1", "Frame2", "Frame3", "Frame5", "Frame6", "fraStats"})
        row(frame, "QGroupBox");
    for (const char *button : {"cmdConnect", "cmdClosePort", "cmdRequest_0", "cmdRequest_10", "cmdReadAll",
                               "cmdZiDongCeShi", "cmdReadVersion", "cmdLED", "cmdBuzzer"})
        row(button, "QPushButton");
    for (const char *box : {"txtBaudRate", "txtZiFu_0", "txtZiFu_10", "txtZiFu2_0", "txtZiFu2_4", "txtVersion",
                            "txtBuzzerValue"})
        row(box, "QLineEdit");
    for (const char *label : {"Label_RetInfo", "Label3", "lblCount", "Label1", "lblStatPasses", "lblStatLastFailure"})
        row(label, "QLabel");
    row("cboSetBoud", "QComboBox");
    row("cboLED", "QComboBox");
    row("txtTestResult", "kv::LogBox");
    row("Picture1", "QFrame");
    row("Shape1", "kv::Shape");
}

void WindowTest::controlKinds()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    FormHarness harness;
    QCOMPARE(harness.form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(QString::fromLatin1(harness.child(name)->metaObject()->className()), className);
}

void WindowTest::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");
    // Twips / 15, relative to the container.
    QTest::newRow("Frame1") << QStringLiteral("Frame1") << QStringLiteral("Form1") << QRect(32, 8, 857, 65);
    QTest::newRow("Frame2") << QStringLiteral("Frame2") << QStringLiteral("Form1") << QRect(32, 88, 1209, 310);
    QTest::newRow("status line") << QStringLiteral("Label_RetInfo") << QStringLiteral("Form1") << QRect(32, 504, 865, 25);
    QTest::newRow("baud") << QStringLiteral("txtBaudRate") << QStringLiteral("Frame1") << QRect(208, 24, 97, 19);
    QTest::newRow("format 3 button") << QStringLiteral("cmdRequest_3") << QStringLiteral("Frame2") << QRect(256, 208, 185, 25);
    QTest::newRow("format 10 box") << QStringLiteral("txtZiFu_10") << QStringLiteral("Frame2") << QRect(464, 176, 193, 25);
    QTest::newRow("log") << QStringLiteral("txtTestResult") << QStringLiteral("Frame2") << QRect(880, 24, 321, 273);
    QTest::newRow("buzzer label") << QStringLiteral("Label1") << QStringLiteral("Frame6") << QRect(32, 64, 89, 17);
    QTest::newRow("statistics") << QStringLiteral("fraStats") << QStringLiteral("Form1") << QRect(904, 400, 348, 148);
    QTest::newRow("last failure") << QStringLiteral("lblStatLastFailure") << QStringLiteral("fraStats") << QRect(89, 74, 232, 51);
}

void WindowTest::geometry()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    FormHarness harness;
    QCOMPARE(harness.form->size(), QSize(1264, 560));
    QWidget *widget = harness.child(name);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), rect);
}

void WindowTest::initialTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const auto row = [](const QString &name, const QString &text) { QTest::newRow(qPrintable(name)) << name << text; };
    row(QStringLiteral("Label_RetInfo"), QStringLiteral("Label1"));
    row(QStringLiteral("lblCount"), QStringLiteral("Label1"));
    row(QStringLiteral("txtVersion"), QStringLiteral("Text2"));
    row(QStringLiteral("txtBuzzerValue"), QStringLiteral("33"));
    row(QStringLiteral("txtBaudRate"), QStringLiteral("19200"));
    row(QStringLiteral("cmdZiDongCeShi"), QStringLiteral("自动测试开始"));
    row(QStringLiteral("cmdRequest_2"), QStringLiteral("正序3位+逗号+5位码"));
    row(QStringLiteral("cmdReadAll"), QStringLiteral("全部格式卡号读出"));
    row(QStringLiteral("Label1"), QStringLiteral("值：0-255"));
    row(QStringLiteral("txtTestResult"), QString());
    // The test's totals before its first start.
    for (const char *count : {"lblStatPasses", "lblStatSteps", "lblStatFailures"})
        row(QString::fromLatin1(count), QStringLiteral("0"));
    row(QStringLiteral("lblStatRate"), QStringLiteral("0%"));
    row(QStringLiteral("lblStatElapsed"), QStringLiteral("0:00:00"));
    row(QStringLiteral("lblStatLastFailure"), QString());
    for (int i = 0; i <= 10; ++i)
        row(QStringLiteral("txtZiFu_%1").arg(i), QString());
    for (int k = 0; k <= 4; ++k)
        row(QStringLiteral("txtZiFu2_%1").arg(k), QString());
}

void WindowTest::initialTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    FormHarness harness;
    QCOMPARE(harness.text(name), text);
    QCOMPARE(harness.form->windowTitle(), QStringLiteral("KV718ST演示软件"));
    QVERIFY(harness.reader.calls().isEmpty()); // start-up never touches the reader
}

void WindowTest::portList()
{
    FormHarness harness;
    auto *ports = harness.child<QComboBox>(QStringLiteral("cboSetBoud"));
    QStringList entries;
    for (int i = 0; i < ports->count(); ++i)
        entries << ports->itemText(i);
    QCOMPARE(entries, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                   QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7")}));
    QCOMPARE(ports->currentIndex(), -1);
    QCOMPARE(ports->currentText(), QStringLiteral("2"));
}

void WindowTest::typedPortIsUsedAndNotAdded()
{
    FormHarness harness;
    auto *ports = harness.child<QComboBox>(QStringLiteral("cboSetBoud"));
    ports->setFocus();
    ports->lineEdit()->selectAll();
    QTest::keyClicks(ports, QStringLiteral("12"));
    QTest::keyClick(ports, Qt::Key_Return);
    QCOMPARE(ports->count(), 7);
    QCOMPARE(ports->currentText(), QStringLiteral("12"));
    harness.click(QStringLiteral("cmdReadAll"));
    QCOMPARE(harness.reader.calls().value(0), QStringLiteral("initCom(0,12,19200)"));
}

void WindowTest::indicatorList()
{
    FormHarness harness;
    auto *leds = harness.child<QComboBox>(QStringLiteral("cboLED"));
    QCOMPARE(leds->count(), 4);
    QCOMPARE(leds->itemText(3), QStringLiteral("LED2亮"));
    QCOMPARE(leds->currentIndex(), 0);
    QCOMPARE(leds->currentText(), QStringLiteral("LED1灭"));
}

void WindowTest::portButtonsStayDisabled()
{
    FormHarness harness;
    for (const QString &name : {QStringLiteral("cmdConnect"), QStringLiteral("cmdClosePort")}) {
        auto *button = harness.child<QPushButton>(name);
        QVERIFY(!button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QVERIFY(!button->isEnabled());
    }
    QVERIFY(harness.reader.calls().isEmpty());
    QCOMPARE(harness.status(), QStringLiteral("Label1"));
}

void WindowTest::timerAndColours()
{
    FormHarness harness;
    auto *timer = harness.form->findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 100);

    auto *count = harness.child<QLabel>(QStringLiteral("lblCount"));
    QVERIFY(count->autoFillBackground());
    QCOMPARE(count->palette().color(QPalette::Window), QColor(0x80, 0xFF, 0x80));
    auto *lamp = harness.child<Shape>(QStringLiteral("Shape1"));
    QCOMPARE(lamp->fillColor(), harness.form->palette().color(QPalette::Window));
    QCOMPARE(lamp->grab().toImage().pixelColor(lamp->width() / 2, lamp->height() / 2), lamp->fillColor());
}

void WindowTest::statusFont()
{
    FormHarness harness;
    const QFont font = harness.child(QStringLiteral("Label_RetInfo"))->font();
    QCOMPARE(font.families().value(0), QStringLiteral("MS Sans Serif"));
    QCOMPARE(font.pointSizeF(), 13.5);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.bold() && !font.italic() && !font.underline() && !font.strikeOut());
}

void WindowTest::tabOrder()
{
    FormHarness harness;
    harness.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(harness.form.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtBaudRate"));
    // The keyboard path through the enabled controls, by tab position.
    const QStringList expected = {
        QStringLiteral("cmdRequest_0"), QStringLiteral("cmdZiDongCeShi"), QStringLiteral("txtZiFu_0"),
        QStringLiteral("txtVersion"),   QStringLiteral("cmdReadVersion"), QStringLiteral("cmdRequest_1"),
        QStringLiteral("txtZiFu_2"),    QStringLiteral("txtZiFu_3"),      QStringLiteral("txtZiFu_4"),
        QStringLiteral("txtZiFu_5"),    QStringLiteral("txtZiFu_6"),      QStringLiteral("txtZiFu_7"),
        QStringLiteral("txtZiFu_8"),    QStringLiteral("txtZiFu_9"),      QStringLiteral("txtZiFu_10"),
        QStringLiteral("cmdRequest_2"), QStringLiteral("cmdRequest_3"),   QStringLiteral("cmdRequest_4"),
        QStringLiteral("cmdRequest_5"), QStringLiteral("cmdRequest_6"),   QStringLiteral("cmdRequest_7"),
        QStringLiteral("cmdRequest_8"), QStringLiteral("cmdRequest_9"),   QStringLiteral("cmdRequest_10"),
        QStringLiteral("txtZiFu2_0"),   QStringLiteral("txtZiFu2_2"),     QStringLiteral("txtZiFu2_3"),
        QStringLiteral("txtZiFu_1"),    QStringLiteral("txtZiFu2_1"),     QStringLiteral("txtZiFu2_4"),
        QStringLiteral("txtTestResult"), QStringLiteral("cmdReadAll"),    QStringLiteral("cboLED"),
        QStringLiteral("cmdLED"),       QStringLiteral("txtBuzzerValue"), QStringLiteral("cmdBuzzer"),
        QStringLiteral("cboSetBoud"),   QStringLiteral("txtBaudRate"),
    };
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // An editable combo box hands its focus to its line edit.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        visited << (focus ? focus->objectName() : QString());
    }
    QCOMPARE(visited, expected);
}

void WindowTest::closeRightAfterStart()
{
    FormHarness harness;
    harness.form->close();
    QCOMPARE(harness.reader.calls(), QStringList{QStringLiteral("closePort()")});
    QCOMPARE(harness.endings, 1);
    QVERIFY(!harness.form->findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
    harness.form->close(); // a second close request changes nothing
    QCOMPARE(harness.reader.count(QStringLiteral("closePort")), 1);
    QCOMPARE(harness.endings, 1);
    QVERIFY(harness.boxes.isEmpty());
}

void WindowTest::missingLibraryShownOnceAndNeverAtShutDown()
{
    for (const bool useBeforeClosing : {true, false}) {
        LibraryReader reader(QStringLiteral("libkv718st-no-such-reader.so"));
        QStringList boxes;
        int endings = 0;
        Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; },
                            [&endings] { ++endings; }, {}});
        reader.setMissNotifier([&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
        if (useBeforeClosing) {
            form.findChild<QPushButton *>(QStringLiteral("cmdReadVersion"))->click();
            form.findChild<QPushButton *>(QStringLiteral("cmdBuzzer"))->click();
            QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label_RetInfo"))->text(), QStringLiteral("蜂鸣器控制失败！"));
            QCOMPARE(boxes.size(), 1);
            QVERIFY(boxes[0].contains(QStringLiteral("libkv718st-no-such-reader.so")));
#if defined(_WIN32)
            QVERIFY(boxes[0].contains(QStringLiteral("PATH")) && !boxes[0].contains(QStringLiteral("LD_LIBRARY_PATH")));
#else
            QVERIFY(boxes[0].contains(QStringLiteral("LD_LIBRARY_PATH")));
#endif
        }
        form.close();
        QCOMPARE(endings, 1);
        QCOMPARE(boxes.size(), useBeforeClosing ? 1 : 0);
    }
}

// Lines appended to the log stay reachable, as in any text box.
void WindowTest::logKeepsItsScrollRange()
{
    FormHarness harness;
    auto *log = harness.child<LogBox>(QStringLiteral("txtTestResult"));
    QPlainTextEdit plain;
    plain.setFont(log->font());
    plain.setLineWrapMode(log->lineWrapMode());
    plain.resize(log->size());
    plain.show();
    for (int i = 0; i < 30; ++i) {
        const QString line = QStringLiteral("第%1步测试成功，卡号为1122334455").arg(i);
        log->appendLine(line);
        plain.setPlainText(plain.toPlainText() + line + QStringLiteral("\r\n"));
    }
    QCOMPARE(log->toPlainText(), plain.toPlainText());
    QVERIFY(log->verticalScrollBar()->maximum() > 0);
    QCOMPARE(log->verticalScrollBar()->maximum(), plain.verticalScrollBar()->maximum());
    // Emptied as a pass empties it, the box has no range left.
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    log->clearText();
    QCOMPARE(log->toPlainText(), QString());
    QCOMPARE(log->verticalScrollBar()->maximum(), 0);
    QCOMPARE(log->verticalScrollBar()->value(), 0);
}

QTEST_MAIN(WindowTest)
#include "test_window.moc"
