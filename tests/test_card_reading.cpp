// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "FormHarness.h"

using namespace kv;

// The format buttons, read-all, and the buzzer, indicator and version commands,
// clicked on the real window.
class CardReadingTest : public QObject
{
    Q_OBJECT

private slots:
    void formatButtonRendersReply_data();
    void formatButtonRendersReply();
    void everyFormatOfOneCard();
    void failedReadKeepsEverything();
    void counterWrapsAfterThousand_data();
    void counterWrapsAfterThousand();
    void guardRefusesWhenClosed();
    void bytesBeyondTheReplyStay();
    void readAll_data();
    void readAll();
    void buzzer_data();
    void buzzer();
    void indicator_data();
    void indicator();
    void version();
};

void CardReadingTest::formatButtonRendersReply_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("textBox");
    QTest::addColumn<QString>("text");
    QTest::newRow("format 7, raw") << 7 << QByteArray::fromHex("0AFF01") << QStringLiteral("0AFF01") << -1 << QString();
    QTest::newRow("format 9, digits") << 9 << QByteArray("12345678") << QStringLiteral("3132333435363738") << 3
                                      << QStringLiteral("12345678");
    QTest::newRow("format 2, comma") << 2 << QByteArray("123,45678") << QStringLiteral("3132332C3435363738") << 2
                                     << QStringLiteral("123,45678");
    QTest::newRow("format 3, five bytes") << 3 << QByteArray::fromHex("001A2B3C4D") << QStringLiteral("001A2B3C4D") << -1
                                          << QString();
    QTest::newRow("format 0, leading zeros") << 0 << QByteArray("0012345678") << QStringLiteral("30303132333435363738")
                                             << 0 << QStringLiteral("0012345678");
    QTest::newRow("format 10, broken reply") << 10 << QByteArray::fromHex("3100FF2C0D0A3237")
                                             << QStringLiteral("3100FF2C0D0A3237") << 4
                                             << QStringLiteral("1\u2400\u00FF,\u240D\u240A27");
    QTest::newRow("format 1, longer reply cut to ten bytes") << 1 << QByteArray("12345678901234")
                                                              << QStringLiteral("31323334353637383930") << 1
                                                              << QStringLiteral("1234567890");
}

void CardReadingTest::formatButtonRendersReply()
{
    QFETCH(int, format);
    QFETCH(QByteArray, reply);
    QFETCH(QString, hex);
    QFETCH(int, textBox);
    QFETCH(QString, text);
    FormHarness harness;
    harness.reader.setReply(format, reply);
    harness.click(QStringLiteral("cmdRequest_%1").arg(format));

    QCOMPARE(harness.reader.calls(), QStringList{QStringLiteral("request(0,%1)").arg(format)});
    QCOMPARE(harness.text(QStringLiteral("txtZiFu_%1").arg(format)), hex);
    QCOMPARE(harness.form->readingText(), hex);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(harness.text(QStringLiteral("txtZiFu2_%1").arg(k)), k == textBox ? text : QString());
    QCOMPARE(harness.status(), QStringLiteral("寻卡成功！"));
    QCOMPARE(harness.text(QStringLiteral("lblCount")), QStringLiteral("1"));
    QCOMPARE(harness.form->module().lastStatus, 0);
}

void CardReadingTest::everyFormatOfOneCard()
{
    FormHarness harness;
    for (int format = 0; format <= 10; ++format)
        harness.click(QStringLiteral("cmdRequest_%1").arg(format));
    for (int format = 0; format <= 10; ++format)
        QCOMPARE(harness.text(QStringLiteral("txtZiFu_%1").arg(format)), kStandardHex[std::size_t(format)]);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(harness.text(QStringLiteral("txtZiFu2_%1").arg(k)), kStandardText[std::size_t(k)]);
    QCOMPARE(harness.text(QStringLiteral("lblCount")), QStringLiteral("11"));
    QCOMPARE(harness.form->readingText(), kStandardHex[10]);
}

void CardReadingTest::failedReadKeepsEverything()
{
    FormHarness harness;
    harness.click(QStringLiteral("cmdRequest_0"));
    harness.reader.setStatus(QStringLiteral("request"), 1);
    harness.click(QStringLiteral("cmdRequest_0"));
    harness.click(QStringLiteral("cmdRequest_4"));
    QCOMPARE(harness.status(), QStringLiteral("寻卡操作失败！"));
    QCOMPARE(harness.text(QStringLiteral("txtZiFu_0")), kStandardHex[0]);
    QCOMPARE(harness.text(QStringLiteral("txtZiFu2_0")), kStandardText[0]);
    QCOMPARE(harness.text(QStringLiteral("txtZiFu_4")), QString());
    QCOMPARE(harness.form->readingText(), kStandardHex[0]);
    QCOMPARE(harness.text(QStringLiteral("lblCount")), QStringLiteral("1"));
    QCOMPARE(harness.form->module().lastStatus, 1);
}

void CardReadingTest::counterWrapsAfterThousand_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("999") << QStringLiteral("999") << QStringLiteral("1000");
    QTest::newRow("1000") << QStringLiteral("1000") << QStringLiteral("0");
    QTest::newRow("0") << QStringLiteral("0") << QStringLiteral("1");
}

void CardReadingTest::counterWrapsAfterThousand()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    FormHarness harness;
    harness.setText(QStringLiteral("lblCount"), before);
    harness.click(QStringLiteral("cmdRequest_5"));
    QCOMPARE(harness.text(QStringLiteral("lblCount")), after);
}

void CardReadingTest::guardRefusesWhenClosed()
{
    FormHarness harness;
    harness.takeReferences(); // leaves the port closed
    QCOMPARE(harness.status(), QStringLiteral("串口关闭成功！"));
    for (const QString &button : {QStringLiteral("cmdRequest_3"), QStringLiteral("cmdBuzzer"), QStringLiteral("cmdLED"),
                                  QStringLiteral("cmdReadVersion")}) {
        harness.setText(QStringLiteral("Label_RetInfo"), QString());
        harness.click(button);
        QCOMPARE(harness.status(), QStringLiteral("串口打开失败！"));
    }
    QVERIFY(harness.reader.calls().isEmpty());
    QCOMPARE(harness.text(QStringLiteral("txtVersion")), QStringLiteral("Text2"));
}

void CardReadingTest::bytesBeyondTheReplyStay()
{
    FormHarness harness;
    harness.click(QStringLiteral("cmdRequest_0")); // ten bytes
    harness.reader.setReply(7, QByteArray::fromHex("AABBCC"));
    harness.click(QStringLiteral("cmdRequest_7")); // three bytes over the first three
    const auto &buffer = harness.form->module().cardBuffer;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), 10),
             QByteArray::fromHex("AABBCC") + QByteArray("3785173"));
    QCOMPARE(harness.text(QStringLiteral("txtZiFu_7")), QStringLiteral("AABBCC"));
}

void CardReadingTest::readAll_data()
{
    QTest::addColumn<bool>("openFirst");    // port open before the click
    QTest::addColumn<int>("openStatus");    // status of the open
    QTest::addColumn<int>("requestStatus"); // status of every read
    QTest::addColumn<int>("closeStatus");
    QTest::addColumn<QString>("finalStatus");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("errorCom");
    QTest::newRow("opens, reads, closes") << false << 0 << 0 << 0 << QStringLiteral("串口关闭成功！") << 11 << 1;
    QTest::newRow("open fails") << false << 1 << 0 << 0 << QStringLiteral("串口打开失败！") << 0 << 1;
    QTest::newRow("no card") << false << 0 << 1 << 0 << QStringLiteral("串口关闭成功！") << 0 << 1;
    QTest::newRow("close fails") << false << 0 << 0 << 7 << QStringLiteral("串口关闭失败！") << 11 << 2;
    QTest::newRow("already open") << true << 0 << 0 << 0 << QStringLiteral("串口关闭成功！") << 11 << 1;
}

void CardReadingTest::readAll()
{
    QFETCH(bool, openFirst);
    QFETCH(int, openStatus);
    QFETCH(int, requestStatus);
    QFETCH(int, closeStatus);
    QFETCH(QString, finalStatus);
    QFETCH(int, count);
    QFETCH(int, errorCom);
    FormHarness harness;
    QStringList expected;
    if (openFirst) {
        // A failed close leaves the port counted as open.
        harness.reader.queueStatus(QStringLiteral("closePort"), 1);
        harness.click(QStringLiteral("cmdReadAll"));
        harness.reader.takeCalls();
        harness.setText(QStringLiteral("lblCount"), QStringLiteral("0"));
        QCOMPARE(harness.form->port().error_com(), 2);
    } else {
        expected << QStringLiteral("initCom(0,2,19200)");
    }
    harness.reader.queueStatus(QStringLiteral("initCom"), std::int16_t(openStatus));
    harness.reader.setStatus(QStringLiteral("request"), std::int16_t(requestStatus));
    harness.reader.queueStatus(QStringLiteral("closePort"), std::int16_t(closeStatus));
    harness.click(QStringLiteral("cmdReadAll"));

    if (openStatus == 0 || openFirst) {
        for (int format = 0; format <= 10; ++format)
            expected << QStringLiteral("request(0,%1)").arg(format);
        expected << QStringLiteral("closePort()");
    }
    QCOMPARE(harness.reader.calls(), expected);
    QCOMPARE(harness.boxes, openFirst ? QStringList{QStringLiteral("串口已经打开，可直接操作")} : QStringList{});
    QCOMPARE(harness.status(), finalStatus);
    QCOMPARE(harness.text(QStringLiteral("lblCount")), count ? QString::number(count) : (openFirst ? QStringLiteral("0") : QStringLiteral("Label1")));
    QCOMPARE(harness.form->port().error_com(), errorCom);
}

void CardReadingTest::buzzer_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("call"); // empty: refused before the library
    QTest::addColumn<QString>("message");
    const QString ok = QStringLiteral("蜂鸣器控制成功！");
    const QString refused = QStringLiteral("蜂鸣器值须在0-255之间！");
    QTest::newRow("default 33") << QStringLiteral("33") << 0 << QStringLiteral("beep(0,33)") << ok;
    QTest::newRow("blanks around 50") << QStringLiteral("  50 ") << 0 << QStringLiteral("beep(0,50)") << ok;
    QTest::newRow("empty sends 0") << QString() << 0 << QStringLiteral("beep(0,0)") << ok;
    QTest::newRow("letters send 0") << QStringLiteral("abc") << 0 << QStringLiteral("beep(0,0)") << ok;
    QTest::newRow("12.5 to even") << QStringLiteral("12.5") << 0 << QStringLiteral("beep(0,12)") << ok;
    QTest::newRow("13.5 to even") << QStringLiteral("13.5") << 0 << QStringLiteral("beep(0,14)") << ok;
    QTest::newRow("255") << QStringLiteral("255") << 0 << QStringLiteral("beep(0,255)") << ok;
    QTest::newRow("library fails") << QStringLiteral("33") << 4 << QStringLiteral("beep(0,33)")
                                   << QStringLiteral("蜂鸣器控制失败！");
    QTest::newRow("256 refused") << QStringLiteral("256") << 0 << QString() << refused;
    QTest::newRow("-1 refused") << QStringLiteral("-1") << 0 << QString() << refused;
    QTest::newRow("huge refused") << QStringLiteral("1e400") << 0 << QString() << refused;
}

void CardReadingTest::buzzer()
{
    QFETCH(QString, value);
    QFETCH(int, status);
    QFETCH(QString, call);
    QFETCH(QString, message);
    FormHarness harness;
    harness.reader.setStatus(QStringLiteral("beep"), std::int16_t(status));
    harness.setText(QStringLiteral("txtBuzzerValue"), value);
    harness.click(QStringLiteral("cmdBuzzer"));
    QCOMPARE(harness.reader.calls(), call.isEmpty() ? QStringList{} : QStringList{call});
    QCOMPARE(harness.status(), message);
    QCOMPARE(harness.form->module().lastStatus, call.isEmpty() ? 0 : status);
}

void CardReadingTest::indicator_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed"); // typed over the selection, if not empty
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    const QString ok = QStringLiteral("指示灯控制成功！");
    QTest::newRow("LED1灭") << 0 << QString() << 0 << QStringLiteral("light(0,0)") << ok;
    QTest::newRow("LED2亮") << 3 << QString() << 0 << QStringLiteral("light(0,3)") << ok;
    QTest::newRow("library fails") << 1 << QString() << 2 << QStringLiteral("light(0,1)")
                                   << QStringLiteral("指示灯控制失败！");
    QTest::newRow("typed over") << 2 << QStringLiteral("LED3") << 0 << QString()
                                << QStringLiteral("请从列表中选择指示灯命令！");
}

void CardReadingTest::indicator()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(int, status);
    QFETCH(QString, call);
    QFETCH(QString, message);
    FormHarness harness;
    harness.reader.setStatus(QStringLiteral("light"), std::int16_t(status));
    auto *leds = harness.child<QComboBox>(QStringLiteral("cboLED"));
    leds->setCurrentIndex(index);
    if (!typed.isEmpty()) {
        leds->lineEdit()->selectAll();
        QTest::keyClicks(leds, typed);
    }
    harness.click(QStringLiteral("cmdLED"));
    QCOMPARE(harness.reader.calls(), call.isEmpty() ? QStringList{} : QStringList{call});
    QCOMPARE(harness.status(), message);
}

void CardReadingTest::version()
{
    FormHarness harness;
    harness.reader.setVersion(0x01, 0x23);
    harness.click(QStringLiteral("cmdReadVersion"));
    QCOMPARE(harness.text(QStringLiteral("txtVersion")), QStringLiteral("0123"));
    QCOMPARE(harness.status(), QStringLiteral("读取版本号成功！"));

    harness.reader.setVersion(0xAB, 0x0C);
    harness.click(QStringLiteral("cmdReadVersion"));
    QCOMPARE(harness.text(QStringLiteral("txtVersion")), QStringLiteral("AB0C"));

    harness.reader.setStatus(QStringLiteral("getModel"), 9);
    harness.click(QStringLiteral("cmdReadVersion"));
    QCOMPARE(harness.text(QStringLiteral("txtVersion")), QString());
    QCOMPARE(harness.status(), QStringLiteral("读取版本号失败！"));
    QCOMPARE(harness.form->module().lastStatus, 9);
    QCOMPARE(harness.reader.calls(), QStringList(3, QStringLiteral("getModel(0)")));
}

QTEST_MAIN(CardReadingTest)
#include "test_card_reading.moc"
