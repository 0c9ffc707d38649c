// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include <cmath>
#include <limits>

#include "NumericText.h"
#include "ReadFormat.h"
#include "TestStatistics.h"

using namespace kv;

// The numeric value of operator texts and the conversions commands apply.
class NumericTextTest : public QObject
{
    Q_OBJECT

private slots:
    void numericValue_data();
    void numericValue();
    void unrepresentable_data();
    void unrepresentable();
    void roundToInt32_data();
    void roundToInt32();
    void roundToByte_data();
    void roundToByte();
    void hexByte();
    void trimBlanks_data();
    void trimBlanks();
    void successCount_data();
    void successCount();
    void renderings();
    void statisticsTexts_data();
    void statisticsTexts();
};

void NumericTextTest::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("placeholder caption") << QStringLiteral("Label1") << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("integer") << QStringLiteral("19200") << 19200.0;
    QTest::newRow("trailing letters") << QStringLiteral("9600baud") << 9600.0;
    QTest::newRow("blanks, tabs, line feeds anywhere") << QStringLiteral(" 1 2\t3\n4 ") << 1234.0;
    QTest::newRow("carriage return stops") << QStringLiteral("12\r34") << 12.0;
    QTest::newRow("fraction") << QStringLiteral("5.25") << 5.25;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
    QTest::newRow("second point stops") << QStringLiteral("1.2.3") << 1.2;
    QTest::newRow("minus") << QStringLiteral("-42") << -42.0;
    QTest::newRow("plus") << QStringLiteral("+7") << 7.0;
    QTest::newRow("sign apart from digits") << QStringLiteral("- 5") << -5.0;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
    QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
    QTest::newRow("exponent E") << QStringLiteral("1.5E3") << 1500.0;
    QTest::newRow("exponent d, negative") << QStringLiteral("25d-1") << 2.5;
    QTest::newRow("exponent without digits") << QStringLiteral("3e") << 3.0;
    QTest::newRow("exponent sign without digits") << QStringLiteral("3e+x") << 3.0;
    QTest::newRow("underflow reads zero") << QStringLiteral("1e-400") << 0.0;
    QTest::newRow("many fraction zeros") << QStringLiteral("0.000000000000000000001e21") << 1.0;
    QTest::newRow("hex") << QStringLiteral("&H1F") << 31.0;
    QTest::newRow("hex lower case, blanks") << QStringLiteral("& h 7fff") << 32767.0;
    QTest::newRow("hex 16-bit wraps") << QStringLiteral("&HFFFF") << -1.0;
    QTest::newRow("hex 8000") << QStringLiteral("&H8000") << -32768.0;
    QTest::newRow("hex 32-bit") << QStringLiteral("&H10000") << 65536.0;
    QTest::newRow("hex 32-bit wraps") << QStringLiteral("&HFFFFFFFF") << -1.0;
    QTest::newRow("hex leading zeros") << QStringLiteral("&H0000000000FF") << 255.0;
    QTest::newRow("hex stops at non-digit") << QStringLiteral("&H1G") << 1.0;
    QTest::newRow("octal") << QStringLiteral("&O17") << 15.0;
    QTest::newRow("octal stops at 8") << QStringLiteral("&O78") << 7.0;
    QTest::newRow("octal 177777") << QStringLiteral("&o177777") << -1.0;
    QTest::newRow("ampersand alone") << QStringLiteral("&") << 0.0;
    QTest::newRow("ampersand other") << QStringLiteral("&X12") << 0.0;
    QTest::newRow("sign before hex") << QStringLiteral("-&H10") << 0.0;
    QTest::newRow("full-width digits do not count") << QStringLiteral("１２") << 0.0;
}

void NumericTextTest::numericValue()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const auto value = kv::numericValue(text);
    QVERIFY(value.has_value());
    QCOMPARE(*value, expected);
}

void NumericTextTest::unrepresentable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("hex beyond 32 bits") << QStringLiteral("&H100000000");
    QTest::newRow("octal beyond 32 bits") << QStringLiteral("&O40000000000");
    QTest::newRow("decimal beyond double") << QStringLiteral("1e309");
    QTest::newRow("long digit string") << QString(400, u'9');
    QTest::newRow("huge exponent") << QStringLiteral("1e99999999999999999999");
}

void NumericTextTest::unrepresentable()
{
    QFETCH(QString, text);
    QVERIFY(!kv::numericValue(text).has_value());
    QVERIFY(!kv::int32Value(text).has_value());
    QVERIFY(!kv::byteValue(text).has_value());
}

void NumericTextTest::roundToInt32_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5 to even") << 2.5 << true << 2;
    QTest::newRow("3.5 to even") << 3.5 << true << 4;
    QTest::newRow("-2.5 to even") << -2.5 << true << -2;
    QTest::newRow("2.51") << 2.51 << true << 3;
    QTest::newRow("max") << 2147483647.0 << true << 2147483647;
    QTest::newRow("max + 0.4") << 2147483647.4 << true << 2147483647;
    QTest::newRow("max + 0.5 rounds up, out") << 2147483647.5 << false << 0;
    QTest::newRow("min") << -2147483648.0 << true << std::numeric_limits<int>::min();
    QTest::newRow("min - 0.5 rounds to even, in") << -2147483648.5 << true << std::numeric_limits<int>::min();
    QTest::newRow("below min") << -2147483649.0 << false << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
}

void NumericTextTest::roundToInt32()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const auto result = kv::roundToInt32(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, expected);
}

void NumericTextTest::roundToByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: refused
    QTest::newRow("blanks around") << QStringLiteral("  50 ") << 50;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("letters") << QStringLiteral("abc") << 0;
    QTest::newRow("12.5 to even") << QStringLiteral("12.5") << 12;
    QTest::newRow("13.5 to even") << QStringLiteral("13.5") << 14;
    QTest::newRow("255.4") << QStringLiteral("255.4") << 255;
    QTest::newRow("255.5 out") << QStringLiteral("255.5") << -1;
    QTest::newRow("-0.4 is zero") << QStringLiteral("-0.4") << 0;
    QTest::newRow("-0.5 to even, zero") << QStringLiteral("-0.5") << 0;
    QTest::newRow("-1 out") << QStringLiteral("-1") << -1;
    QTest::newRow("&HFF") << QStringLiteral("&HFF") << 255;
    QTest::newRow("&HFFFF is -1, out") << QStringLiteral("&HFFFF") << -1;
}

void NumericTextTest::roundToByte()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const auto result = kv::byteValue(text);
    QCOMPARE(result.has_value(), expected >= 0);
    if (result)
        QCOMPARE(int(*result), expected);
}

void NumericTextTest::hexByte()
{
    QCOMPARE(kv::hexByte(0x00), QStringLiteral("00"));
    QCOMPARE(kv::hexByte(0x0A), QStringLiteral("0A"));
    QCOMPARE(kv::hexByte(0xFF), QStringLiteral("FF"));
    QCOMPARE(kv::hexByte(0xC3), QStringLiteral("C3"));
}

void NumericTextTest::trimBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both ends") << QStringLiteral("  AB CD  ") << QStringLiteral("AB CD");
    QTest::newRow("tabs stay") << QStringLiteral("\tAB ") << QStringLiteral("\tAB");
    QTest::newRow("line break stays") << QStringLiteral(" AB\n") << QStringLiteral("AB\n");
    QTest::newRow("only blanks") << QStringLiteral("   ") << QString();
    QTest::newRow("full-width blank stays") << QStringLiteral("\u3000AB") << QStringLiteral("\u3000AB");
}

void NumericTextTest::trimBlanks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(kv::trimBlanks(text), expected);
}

void NumericTextTest::successCount_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("next");
    QTest::newRow("placeholder") << QStringLiteral("Label1") << QStringLiteral("1");
    QTest::newRow("1") << QStringLiteral("1") << QStringLiteral("2");
    QTest::newRow("999") << QStringLiteral("999") << QStringLiteral("1000");
    QTest::newRow("1000 wraps") << QStringLiteral("1000") << QStringLiteral("0");
    QTest::newRow("0") << QStringLiteral("0") << QStringLiteral("1");
}

void NumericTextTest::successCount()
{
    QFETCH(QString, caption);
    QFETCH(QString, next);
    QCOMPARE(nextSuccessCount(caption), next);
}

void NumericTextTest::renderings()
{
    const std::uint8_t hex[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D};
    QCOMPARE(hexRendering(hex), QStringLiteral("001A2B3C4D"));
    const std::uint8_t digits[] = {0x30, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38};
    QCOMPARE(textRendering(digits), QStringLiteral("0012345678"));
    const std::uint8_t comma[] = {0x31, 0x32, 0x33, 0x2C, 0x34, 0x35, 0x36, 0x37, 0x38};
    QCOMPARE(textRendering(comma), QStringLiteral("123,45678"));

    // Any byte gives exactly one character: nothing is dropped and no control
    // character reaches a text box.
    std::array<std::uint8_t, 256> every{};
    for (std::size_t i = 0; i < every.size(); ++i)
        every[i] = static_cast<std::uint8_t>(i);
    const QString text = textRendering(every);
    QCOMPARE(text.size(), 256);
    for (const QChar c : text)
        QVERIFY2(c.category() != QChar::Other_Control, qPrintable(QString::number(c.unicode(), 16)));
    QCOMPARE(text[0], QChar(0x2400));
    QCOMPARE(text[0x7F], QChar(0x2421));
    QCOMPARE(text[0x80], QChar(0x20AC));
    QCOMPARE(text[0xE9], QChar(0x00E9));
}

void NumericTextTest::statisticsTexts_data()
{
    QTest::addColumn<qint64>("failures");
    QTest::addColumn<qint64>("steps");
    QTest::addColumn<QString>("rate");
    QTest::newRow("none yet") << qint64(0) << qint64(0) << QStringLiteral("0%");
    QTest::newRow("none failed") << qint64(0) << qint64(11000) << QStringLiteral("0%");
    QTest::newRow("1 in 10") << qint64(1) << qint64(10) << QStringLiteral("10%");
    QTest::newRow("1 in 3") << qint64(1) << qint64(3) << QStringLiteral("33.3%");
    QTest::newRow("all") << qint64(7) << qint64(7) << QStringLiteral("100%");
    QTest::newRow("just below all") << qint64(99999) << qint64(100000) << QStringLiteral("100%");
    QTest::newRow("1 in a million") << qint64(1) << qint64(1000000) << QStringLiteral("0.0001%");
    QTest::newRow("3 in 7 million") << qint64(3) << qint64(7000000) << QStringLiteral("0.0000429%");
    QTest::newRow("1 in a billion") << qint64(1) << qint64(1000000000) << QStringLiteral("0.0000001%");
}

void NumericTextTest::statisticsTexts()
{
    QFETCH(qint64, failures);
    QFETCH(qint64, steps);
    QFETCH(QString, rate);
    QCOMPARE(failureRateText(failures, steps), rate);

    using namespace std::chrono_literals;
    QCOMPARE(elapsedText(0s), QStringLiteral("0:00:00"));
    QCOMPARE(elapsedText(59999ms), QStringLiteral("0:00:59"));
    QCOMPARE(elapsedText(3661s), QStringLiteral("1:01:01"));
    QCOMPARE(elapsedText(100h + 59min), QStringLiteral("100:59:00"));
}

QTEST_APPLESS_MAIN(NumericTextTest)
#include "test_numeric_text.moc"
