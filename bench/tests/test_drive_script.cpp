// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The driver's script parser and its small helpers.

#include "DriveScript.h"

#include <QTest>

using namespace kv::drive;

namespace {

// One line per step, nested steps indented, so a whole parse compares as text.
QString outline(const std::vector<Step> &steps, int indent = 0)
{
    QString out;
    for (const Step &s : steps) {
        out += QString(indent * 2, u' ');
        switch (s.kind) {
        case StepKind::Paint: out += QStringLiteral("paint %1").arg(s.number); break;
        case StepKind::Click: out += QStringLiteral("click [%1] %2").arg(s.name).arg(s.number); break;
        case StepKind::Wait: out += QStringLiteral("wait %1").arg(s.number); break;
        case StepKind::Until:
            out += QStringLiteral("until [%1] %2 [%3] %4")
                       .arg(s.name, matchKeyword(s.match), s.text)
                       .arg(s.number);
            break;
        case StepKind::Text: out += QStringLiteral("text [%1]").arg(s.name); break;
        case StepKind::Texts: out += QStringLiteral("texts"); break;
        case StepKind::Grab: out += QStringLiteral("grab [%1]").arg(s.text); break;
        case StepKind::Memory: out += QStringLiteral("memory"); break;
        case StepKind::Boxes: out += QStringLiteral("boxes"); break;
        case StepKind::Close: out += QStringLiteral("close"); break;
        case StepKind::Repeat:
            out += QStringLiteral("repeat %1\n").arg(s.number) + outline(s.body, indent + 1);
            continue;
        }
        out += u'\n';
    }
    return out;
}

} // namespace

class TestDriveScript : public QObject
{
    Q_OBJECT

private slots:
    void parsesValidScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("only separators and comments") << QStringLiteral(" ;\n; # nothing here\n") << QString();
        QTest::newRow("paint default limit") << QStringLiteral("paint") << QStringLiteral("paint 10000\n");
        QTest::newRow("paint within") << QStringLiteral("paint within 250") << QStringLiteral("paint 250\n");
        QTest::newRow("bench script") << QStringLiteral("paint; memory; close")
                                      << QStringLiteral("paint 10000\nmemory\nclose\n");
        QTest::newRow("boxes before a click") << QStringLiteral("boxes; click cmdReadAll")
                                              << QStringLiteral("boxes\nclick [cmdReadAll] 10000\n");
        QTest::newRow("texts before a close") << QStringLiteral("texts\nclose") << QStringLiteral("texts\nclose\n");
        QTest::newRow("click default and within")
            << QStringLiteral("click cmdReadAll; click cmdLED within 30")
            << QStringLiteral("click [cmdReadAll] 10000\nclick [cmdLED] 30\n");
        QTest::newRow("wait zero") << QStringLiteral("wait 0") << QStringLiteral("wait 0\n");
        QTest::newRow("until is, quoted Chinese with blank")
            << QStringLiteral("until Label_RetInfo is \"读卡 成功\"")
            << QStringLiteral("until [Label_RetInfo] is [读卡 成功] 5000\n");
        QTest::newRow("until has within") << QStringLiteral("until lblCount has 3 within 900")
                                          << QStringLiteral("until [lblCount] has [3] 900\n");
        QTest::newRow("until reaches") << QStringLiteral("until lblStatSteps reaches 0022 within 60000")
                                       << QStringLiteral("until [lblStatSteps] reaches [22] 60000\n");
        QTest::newRow("until empty text") << QStringLiteral("until txtBaudRate is \"\"")
                                          << QStringLiteral("until [txtBaudRate] is [] 5000\n");
        QTest::newRow("quoted escapes") << QStringLiteral("until a is \"x\\\"y\\\\z;{}#\\n\"")
                                        << QStringLiteral("until [a] is [x\"y\\z;{}#\n] 5000\n");
        QTest::newRow("keywords as quoted text") << QStringLiteral("until a has \"within\" within 7")
                                                 << QStringLiteral("until [a] has [within] 7\n");
        QTest::newRow("grab path") << QStringLiteral("grab /tmp/shot.png") << QStringLiteral("grab [/tmp/shot.png]\n");
        QTest::newRow("grab quoted path") << QStringLiteral("grab \"/tmp/a b.png\"") << QStringLiteral("grab [/tmp/a b.png]\n");
        QTest::newRow("text") << QStringLiteral("text txtTestResult") << QStringLiteral("text [txtTestResult]\n");
        QTest::newRow("newlines separate") << QStringLiteral("paint\nwait 5\r\nmemory")
                                           << QStringLiteral("paint 10000\nwait 5\nmemory\n");
        QTest::newRow("comment after step") << QStringLiteral("wait 5 # settle\nmemory")
                                            << QStringLiteral("wait 5\nmemory\n");
        QTest::newRow("repeat one step") << QStringLiteral("repeat 50 click cmdReadAll; close")
                                         << QStringLiteral("repeat 50\n  click [cmdReadAll] 10000\nclose\n");
        QTest::newRow("repeat block, nested")
            << QStringLiteral("repeat 2 { click a; repeat 3 { wait 1 } ; memory }; text b")
            << QStringLiteral("repeat 2\n  click [a] 10000\n  repeat 3\n    wait 1\n  memory\ntext [b]\n");
        QTest::newRow("repeat block over lines") << QStringLiteral("repeat 2 {\n click a\n}\n")
                                                 << QStringLiteral("repeat 2\n  click [a] 10000\n");
    }

    void parsesValidScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        const ParseResult r = parseScript(script);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(outline(r.steps), expected);
    }

    void rejectsInvalidScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("errorPart");

        QTest::newRow("unknown step") << QStringLiteral("paint; klick a") << QStringLiteral("unknown step 'klick'");
        QTest::newRow("quoted keyword") << QStringLiteral("\"paint\"") << QStringLiteral("expected a step");
        QTest::newRow("click without name") << QStringLiteral("click; close") << QStringLiteral("'click' needs a control name");
        QTest::newRow("wait without number") << QStringLiteral("wait") << QStringLiteral("'wait' needs a time in ms");
        QTest::newRow("wait not a number") << QStringLiteral("wait 2s") << QStringLiteral("found '2s'");
        QTest::newRow("wait negative") << QStringLiteral("wait -5") << QStringLiteral("found '-5'");
        QTest::newRow("wait signed") << QStringLiteral("wait +5") << QStringLiteral("found '+5'");
        QTest::newRow("wait too long") << QStringLiteral("wait 3600001") << QStringLiteral("out of range");
        QTest::newRow("two numbers glued") << QStringLiteral("wait 200 100") << QStringLiteral("unexpected '100' after 'wait 200'");
        QTest::newRow("within zero") << QStringLiteral("paint within 0") << QStringLiteral("out of range");
        QTest::newRow("within without number") << QStringLiteral("click a within") << QStringLiteral("needs a time limit");
        QTest::newRow("until without mode") << QStringLiteral("until a equals b") << QStringLiteral("needs 'is', 'has' or 'reaches'");
        QTest::newRow("reaches not a number") << QStringLiteral("until a reaches 2x") << QStringLiteral("'until' needs a whole number");
        QTest::newRow("until without text") << QStringLiteral("until a is") << QStringLiteral("'until' needs a text");
        QTest::newRow("unterminated quote") << QStringLiteral("until a is \"abc") << QStringLiteral("unterminated");
        QTest::newRow("bad escape") << QStringLiteral("until a is \"a\\qb\"") << QStringLiteral("unknown escape");
        QTest::newRow("memory with argument") << QStringLiteral("memory now") << QStringLiteral("unexpected 'now'");
        QTest::newRow("boxes with argument") << QStringLiteral("boxes all") << QStringLiteral("unexpected 'all'");
        QTest::newRow("repeat zero") << QStringLiteral("repeat 0 wait 1") << QStringLiteral("out of range");
        QTest::newRow("repeat without step") << QStringLiteral("repeat 3; close") << QStringLiteral("needs a step");
        QTest::newRow("repeat empty block") << QStringLiteral("repeat 3 { }") << QStringLiteral("nothing in braces");
        QTest::newRow("repeat missing brace") << QStringLiteral("repeat 3 { wait 1") << QStringLiteral("missing '}'");
        QTest::newRow("stray brace") << QStringLiteral("wait 1 }") << QStringLiteral("unexpected '}'");
        QTest::newRow("close repeated") << QStringLiteral("repeat 2 close") << QStringLiteral("cannot be repeated");
        QTest::newRow("close in block") << QStringLiteral("repeat 2 { close }") << QStringLiteral("cannot be repeated");
        QTest::newRow("step after close") << QStringLiteral("close; memory") << QStringLiteral("must be the last step");
    }

    void rejectsInvalidScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, errorPart);
        const ParseResult r = parseScript(script);
        QVERIFY2(!r.ok(), qPrintable(outline(r.steps)));
        QVERIFY2(r.error.contains(errorPart), qPrintable(r.error));
        QVERIFY(r.steps.empty());
    }

    void keepsStepSourceForMessages()
    {
        const ParseResult r = parseScript(QStringLiteral("until  lblCount   has \"a b\" within 9 ; repeat 2 {click x}"));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.steps.size(), std::size_t(2));
        QCOMPARE(r.steps[0].source, QStringLiteral("until lblCount has \"a b\""));
        QCOMPARE(r.steps[1].source, QStringLiteral("repeat 2 { click x }"));
    }

    void readsStatusFields_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<qlonglong>("expected"); // -1: no value

        const QByteArray status = "Name:\tkv718st-demo\nVmPeak:\t  312000 kB\nVmHWM:\t   48812 kB\n"
                                  "VmRSS:\t   47100 kB\nThreads:\t3\n";
        QTest::newRow("hwm") << status << QByteArray("VmHWM") << 48812LL;
        QTest::newRow("rss") << status << QByteArray("VmRSS") << 47100LL;
        QTest::newRow("missing") << status << QByteArray("VmSwap") << -1LL;
        QTest::newRow("prefix of another key") << QByteArray("VmHWMx:\t5 kB\n") << QByteArray("VmHWM") << -1LL;
        QTest::newRow("no unit") << QByteArray("Threads:\t3\n") << QByteArray("Threads") << -1LL;
        QTest::newRow("garbage") << QByteArray("VmHWM:\tlots kB\n") << QByteArray("VmHWM") << -1LL;
        QTest::newRow("last line without newline") << QByteArray("A:\t1 kB\nVmRSS:\t9 kB") << QByteArray("VmRSS") << 9LL;
    }

    void readsStatusFields()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, key);
        QFETCH(qlonglong, expected);
        const auto v = statusFieldKb(status, key.constData());
        QCOMPARE(v.has_value() ? qlonglong(*v) : -1LL, expected);
    }

    void median_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << QList<double>{} << 0.0;
        QTest::newRow("one") << QList<double>{4.5} << 4.5;
        QTest::newRow("odd unsorted") << QList<double>{9, 1, 5} << 5.0;
        QTest::newRow("even unsorted") << QList<double>{8, 2, 4, 6} << 5.0;
        QTest::newRow("outlier") << QList<double>{1, 1, 1000, 2, 2} << 2.0;
    }

    void median()
    {
        QFETCH(QList<double>, values);
        QFETCH(double, expected);
        QCOMPARE(kv::drive::median(std::vector<double>(values.begin(), values.end())), expected);
    }

    void quotesFieldValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("cmdReadAll") << QStringLiteral("cmdReadAll");
        QTest::newRow("chinese plain") << QStringLiteral("成功") << QStringLiteral("成功");
        QTest::newRow("empty") << QString() << QStringLiteral("\"\"");
        QTest::newRow("blank") << QStringLiteral("a b") << QStringLiteral("\"a b\"");
        QTest::newRow("equals sign") << QStringLiteral("k=v") << QStringLiteral("\"k=v\"");
        QTest::newRow("quote and backslash") << QStringLiteral("a\"b\\c") << QStringLiteral("\"a\\\"b\\\\c\"");
        QTest::newRow("new line") << QStringLiteral("a\nb") << QStringLiteral("\"a\\nb\"");
        QTest::newRow("control") << QStringLiteral("a\x01") << QStringLiteral("\"a\\x01\"");
    }

    void quotesFieldValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(fieldValue(value), expected);
    }

    void parsesEpochNs_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qlonglong>("expected"); // -1: rejected
        QTest::newRow("typical") << QByteArray("1718000000123456000") << 1718000000123456000LL;
        QTest::newRow("zero") << QByteArray("0") << 0LL;
        QTest::newRow("empty") << QByteArray() << -1LL;
        QTest::newRow("seconds with dot") << QByteArray("1718000000.123456") << -1LL;
        QTest::newRow("negative") << QByteArray("-5") << -1LL;
        QTest::newRow("too large") << QByteArray("9999999999999999999") << -1LL;
        QTest::newRow("too long") << QByteArray("00000000000000000001") << -1LL;
        QTest::newRow("trailing blank") << QByteArray("123 ") << -1LL;
    }

    void parsesEpochNs()
    {
        QFETCH(QByteArray, text);
        QFETCH(qlonglong, expected);
        const auto v = parseEpochNs(text);
        QCOMPARE(v.has_value() ? qlonglong(*v) : -1LL, expected);
    }
};

QTEST_GUILESS_MAIN(TestDriveScript)
#include "test_drive_script.moc"
