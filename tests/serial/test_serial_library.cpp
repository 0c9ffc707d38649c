// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <memory>

#include "CardId.h"
#include "Form1.h"
#include "LibraryReader.h"
#include "StandardCard.h"

#include "PseudoTerminal.h"

using namespace kv;

using namespace std::chrono_literals;

namespace {

// The documented variable and status, spelled out: the test checks them too.
constexpr const char *kDeviceVariable = "KV718ST_SERIAL_DEVICE";
constexpr std::int16_t kNotSupported = 7;
const QByteArray kCard = "1122334455";
constexpr std::int16_t kDeviceLost = 2;
constexpr std::int16_t kPortClosed = 1;

struct TimedRead
{
    std::int16_t status = -1;
    std::chrono::steady_clock::duration took{};
};

TimedRead timedRead(LibraryReader &reader)
{
    std::array<std::uint8_t, 16> buffer{};
    std::int32_t aux = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::int16_t status = reader.request(0, 3, buffer.data(), &aux);
    return {status, std::chrono::steady_clock::now() - start};
}

// Whether this process has a descriptor on `path`.
bool holds(const std::string &path)
{
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : descriptors.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(descriptors.filePath(fd)) == QString::fromStdString(path))
            return true;
    return false;
}

} // namespace

// The serial reader library loaded by the tool's own binding, by bare file
// name from the folder on the loader path, with a pseudo-terminal playing
// the module; the whole window on it; and an adapter pulled out and plugged
// in again.
class TestSerialLibrary : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryFormat_data();
    void readsEveryFormat();
    void windowReadsAllFormats();
    void windowPeripheralsFail_data();
    void windowPeripheralsFail();
    void survivesUnplug();
    void windowTestSurvivesUnplug();
};

void TestSerialLibrary::readsEveryFormat_data()
{
    addStandardCardRows();
}

void TestSerialLibrary::readsEveryFormat()
{
    QFETCH(int, format);
    QFETCH(QByteArray, expected);
    PseudoTerminal terminal;
    qputenv(kDeviceVariable, QByteArray::fromStdString(terminal.slavePath()));
    LibraryReader reader;
    QCOMPARE(reader.initCom(0, 1, 9600), std::int16_t{0});
    const ModuleEmulator module(terminal, {{moduleFrame(kCard), 50ms}});
    std::array<std::uint8_t, 16> buffer{};
    buffer.fill(0xEE);
    std::int32_t aux = 0;
    QCOMPARE(reader.request(0, static_cast<std::uint8_t>(format), buffer.data(), &aux), std::int16_t{0});
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), expected.size()), expected);
    QCOMPARE(buffer[static_cast<std::size_t>(expected.size())], std::uint8_t{0xEE});
    QCOMPARE(aux, expected.size());
    QCOMPARE(reader.closePort(), std::int16_t{0});
    QVERIFY(reader.closePort() != 0);
}

void TestSerialLibrary::windowReadsAllFormats()
{
    // Port 2 is the second device of the pattern, as /dev/ttyUSB1 is by
    // default.
    PseudoTerminal terminal;
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QCOMPARE(::symlink(terminal.slavePath().c_str(), qPrintable(folder.filePath(QStringLiteral("module1")))), 0);
    qputenv(kDeviceVariable, QFile::encodeName(folder.filePath(QStringLiteral("module{n-1}"))));

    LibraryReader reader;
    QStringList boxes;
    Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; }, [] {}, {}});
    reader.setMissNotifier([&boxes](const LibraryReader::Miss &miss) { boxes << miss.what; });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.findChild<QComboBox *>(QStringLiteral("cboSetBoud"))->currentText(), QStringLiteral("2"));
    form.findChild<QLineEdit *>(QStringLiteral("txtBaudRate"))->setText(QStringLiteral("9600"));
    {
        const ModuleEmulator module(terminal, {{moduleFrame(kCard), 50ms}});
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdReadAll")), Qt::LeftButton);
    }

    const kv::CardId card{0x11, 0x22, 0x33, 0x44, 0x55};
    const std::array<int, 5> textFormats{0, 1, 2, 9, 10};
    for (std::uint8_t format = 0; format <= kv::kLastCardFormat; ++format) {
        std::array<std::uint8_t, kv::kMaxCardReplySize> reply{};
        const QByteArray bytes(reinterpret_cast<const char *>(reply.data()),
                               qsizetype(kv::writeCardReply(card, format, reply)));
        QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("txtZiFu_%1").arg(format))->text(),
                 QString::fromLatin1(bytes.toHex().toUpper()));
        if (const auto box = std::ranges::find(textFormats, format); box != textFormats.end())
            QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("txtZiFu2_%1").arg(box - textFormats.begin()))->text(),
                     QString::fromLatin1(bytes));
    }
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblCount"))->text(), QStringLiteral("11"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label_RetInfo"))->text(), QStringLiteral("串口关闭成功！"));
    QCOMPARE(boxes, QStringList());
}

void TestSerialLibrary::windowPeripheralsFail_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("status");
    QTest::newRow("version") << QStringLiteral("cmdReadVersion") << QStringLiteral("读取版本号失败！");
    QTest::newRow("indicator") << QStringLiteral("cmdLED") << QStringLiteral("指示灯控制失败！");
    QTest::newRow("buzzer") << QStringLiteral("cmdBuzzer") << QStringLiteral("蜂鸣器控制失败！");
}

void TestSerialLibrary::windowPeripheralsFail()
{
    QFETCH(QString, button);
    QFETCH(QString, status);
    LibraryReader reader;
    QStringList boxes;
    Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; }, [] {}, {}});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label_RetInfo"))->text(), status);
    QCOMPARE(form.module().lastStatus, kNotSupported); // the serial library's own answer
    QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("txtVersion"))->text(),
             button == QStringLiteral("cmdReadVersion") ? QString() : QStringLiteral("Text2"));
    QCOMPARE(boxes, QStringList());
}

// An adapter pulled out and plugged in again during reads: the device path
// the library opens is a link to a pseudo-terminal that hangs up and goes,
// then comes back as a new one, as a USB serial adapter's device does.
void TestSerialLibrary::survivesUnplug()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString link = folder.filePath(QStringLiteral("module1"));
    qputenv(kDeviceVariable, QFile::encodeName(folder.filePath(QStringLiteral("module{n}"))));
    const QString port = QStringLiteral("port 1 (%1)").arg(link);
    const auto plugIn = [&link](const PseudoTerminal &terminal) {
        return ::symlink(terminal.slavePath().c_str(), qPrintable(link)) == 0;
    };
    const auto pullOut = [&link](PseudoTerminal &terminal) {
        terminal.hangUp();
        return QFile::remove(link);
    };

    LibraryReader reader;
    QList<QPair<bool, QString>> events;
    reader.setLinkNotifier([&events](bool up, const QString &text) { events.append({up, text}); });
    QStringList problems;
    reader.setProblemNotifier([&problems](const QString &problem) { problems << problem; });

    PseudoTerminal first;
    QVERIFY(plugIn(first));
    QCOMPARE(reader.initCom(0, 1, 9600), std::int16_t{0});
    {
        const ModuleEmulator module(first, {{moduleFrame(kCard), 20ms}});
        QCOMPARE(timedRead(reader).status, std::int16_t{0});
    }
    QVERIFY(holds(first.slavePath()));

    // Pulled out: the read that notices fails at once and lets the device go.
    QVERIFY(pullOut(first));
    const TimedRead noticed = timedRead(reader);
    QCOMPARE(noticed.status, kDeviceLost);
    QVERIFY2(noticed.took < 100ms, qPrintable(QString::number(noticed.took.count())));
    QVERIFY(!holds(first.slavePath()));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].first, false);
    QVERIFY2(events[0].second.startsWith(port + QStringLiteral(": the reader was lost (")), qPrintable(events[0].second));

    // Away: every read fails at once, and says nothing more.
    for (int i = 0; i < 5; ++i) {
        const TimedRead away = timedRead(reader);
        QCOMPARE(away.status, kDeviceLost);
        QVERIFY2(away.took < 100ms, qPrintable(QString::number(away.took.count())));
    }
    QCOMPARE(events.size(), 1);

    // Plugged in again: reads succeed again by themselves, without an open.
    PseudoTerminal second;
    const ModuleEmulator module(second, {{moduleFrame(kCard), 20ms}});
    QVERIFY(plugIn(second));
    const auto returned = std::chrono::steady_clock::now();
    std::int16_t status = kDeviceLost;
    while (status != 0 && std::chrono::steady_clock::now() - returned < 5s)
        status = timedRead(reader).status;
    const auto took = std::chrono::steady_clock::now() - returned;
    QCOMPARE(status, std::int16_t{0});
    QVERIFY2(took < 2s, qPrintable(QString::number(std::chrono::duration<double>(took).count())));
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[1], qMakePair(true, port + QStringLiteral(": the reader is back")));
    QCOMPARE(timedRead(reader).status, std::int16_t{0});

    // Lost again, then closed: the close succeeds and the port is released.
    QVERIFY(pullOut(second));
    QCOMPARE(timedRead(reader).status, kDeviceLost);
    QCOMPARE(reader.closePort(), std::int16_t{0});
    QCOMPARE(reader.closePort(), kPortClosed);
    QCOMPARE(timedRead(reader).status, kPortClosed);
    QCOMPARE(events.size(), 3);
    QCOMPARE(events[2].first, false);
    QCOMPARE(problems, QStringList());
}

// The window's automatic test across an unplug, with a record: the steps
// while the adapter is away fail as port not open, the passes pass again
// after its return, the frame and the record show the loss and the return,
// and nothing waits for the operator.
void TestSerialLibrary::windowTestSurvivesUnplug()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString link = folder.filePath(QStringLiteral("module1"));
    const QString recordPath = folder.filePath(QStringLiteral("record.csv"));
    qputenv(kDeviceVariable, QFile::encodeName(folder.filePath(QStringLiteral("module{n}"))));
    auto terminal = std::make_unique<PseudoTerminal>();
    QCOMPARE(::symlink(terminal->slavePath().c_str(), qPrintable(link)), 0);
    auto module = std::make_unique<ModuleEmulator>(*terminal, std::vector<Piece>{{moduleFrame(kCard), 20ms}});

    LibraryReader reader;
    QStringList boxes;
    QStringList notices;
    Form1 form(reader, {[&boxes](QWidget *, QMessageBox::Icon, const QString &text) { boxes << text; }, [] {},
                        [&notices](QWidget *, QMessageBox::Icon, const QString &text) { notices << text; }});
    reader.setProblemNotifier([&form](const QString &problem) { form.showLibraryProblem(problem); });
    reader.setLinkNotifier([&form](bool up, const QString &text) { form.linkChanged(up, text); });
    form.recordTo(recordPath);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.findChild<QComboBox *>(QStringLiteral("cboSetBoud"))->setEditText(QStringLiteral("1"));
    form.findChild<QLineEdit *>(QStringLiteral("txtBaudRate"))->setText(QStringLiteral("9600"));
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdReadAll")), Qt::LeftButton);
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblCount"))->text(), QStringLiteral("11"));

    const auto label = [&form](const char *name) { return form.findChild<QLabel *>(QLatin1StringView(name))->text(); };
    auto *log = form.findChild<QPlainTextEdit *>(QStringLiteral("txtTestResult"));
    auto *toggle = form.findChild<QPushButton *>(QStringLiteral("cmdZiDongCeShi"));
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(label("lblStatPasses").toInt() >= 2, 20000);
    QCOMPARE(label("lblStatFailures"), QStringLiteral("0"));

    // Pulled out for a second, then plugged in as a new device.
    module.reset();
    terminal->hangUp();
    QVERIFY(QFile::remove(link));
    terminal.reset();
    QTRY_VERIFY_WITH_TIMEOUT(label("lblStatPortClosed").toInt() >= 11, 20000);
    QVERIFY(label("lblStatLink").startsWith(QStringLiteral("读卡器断开\n")));
    terminal = std::make_unique<PseudoTerminal>();
    module = std::make_unique<ModuleEmulator>(*terminal, std::vector<Piece>{{moduleFrame(kCard), 20ms}});
    QCOMPARE(::symlink(terminal->slavePath().c_str(), qPrintable(link)), 0);
    QTRY_VERIFY_WITH_TIMEOUT(label("lblStatLink").startsWith(QStringLiteral("读卡器恢复\n")), 20000);

    // Within one pass of the return, a whole pass passes again.
    const int failuresAtReturn = label("lblStatFailures").toInt();
    const int passesAtReturn = label("lblStatPasses").toInt();
    QTRY_VERIFY_WITH_TIMEOUT(label("lblStatPasses").toInt() >= passesAtReturn + 3, 20000);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!log->toPlainText().isEmpty() && log->toPlainText().count(u'\n') == 11, 5000);
    QVERIFY2(label("lblStatFailures").toInt() <= failuresAtReturn + 11, qPrintable(label("lblStatFailures")));
    QVERIFY2(!log->toPlainText().contains(QStringLiteral("错误")), qPrintable(log->toPlainText()));
    QCOMPARE(label("lblStatWrongRead"), QStringLiteral("0"));
    // The frame said it; no box, not even one that waits for nobody.
    QCOMPARE(boxes, QStringList());
    QCOMPARE(notices, QStringList());

    QFile record(recordPath);
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(record.readAll()).section(QStringLiteral("\r\n"), 1); // after the header
    QCOMPARE(text.count(QStringLiteral(",lost,")), 1);
    QCOMPARE(text.count(QStringLiteral(",back,")), 1);
    QVERIFY(text.indexOf(QStringLiteral(",lost,")) < text.indexOf(QStringLiteral(",port_not_open,")));
    form.close();
}

QTEST_MAIN(TestSerialLibrary)
#include "test_serial_library.moc"
