// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "EnduranceRun.h"
#include "RecordFile.h"

using namespace kv;

// How a reference typed by the operator reaches the record file: a field that
// would break the line apart is quoted, and one that a spreadsheet would take
// for a formula is written as text with a leading apostrophe. Each row fails
// one step of a real endurance run against that reference and reads the file.
class RecordFieldsTest : public QObject
{
    Q_OBJECT

private slots:
    void referenceField_data();
    void referenceField();
};

void RecordFieldsTest::referenceField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // the field as it stands in the file
    QTest::addColumn<QString>("cell");    // what a spreadsheet reads from it

    const auto row = [](const char *name, const QString &typed, const QString &written, const QString &cell) {
        QTest::newRow(name) << typed << written << cell;
    };
    row("plain", QStringLiteral("1122334455"), QStringLiteral("1122334455"), QStringLiteral("1122334455"));
    row("blanks around", QStringLiteral("  55443322 "), QStringLiteral("55443322"), QStringLiteral("55443322"));
    row("comma", QStringLiteral("a,b"), QStringLiteral("\"a,b\""), QStringLiteral("a,b"));
    row("quote", QStringLiteral("say \"hi\""), QStringLiteral("\"say \"\"hi\"\"\""), QStringLiteral("say \"hi\""));
    row("line break", QStringLiteral("a\nb"), QStringLiteral("\"a\nb\""), QStringLiteral("a\nb"));
    row("carriage return inside", QStringLiteral("a\rb"), QStringLiteral("\"a\rb\""), QStringLiteral("a\rb"));
    row("tab inside", QStringLiteral("a\tb"), QStringLiteral("a\tb"), QStringLiteral("a\tb"));
    row("minus inside", QStringLiteral("a-b"), QStringLiteral("a-b"), QStringLiteral("a-b"));
    row("=", QStringLiteral("=1+2"), QStringLiteral("'=1+2"), QStringLiteral("'=1+2"));
    row("+", QStringLiteral("+A1"), QStringLiteral("'+A1"), QStringLiteral("'+A1"));
    row("-", QStringLiteral("-5"), QStringLiteral("'-5"), QStringLiteral("'-5"));
    row("@", QStringLiteral("@SUM(A1:A9)"), QStringLiteral("'@SUM(A1:A9)"), QStringLiteral("'@SUM(A1:A9)"));
    row("leading tab", QStringLiteral("\t=1"), QStringLiteral("'\t=1"), QStringLiteral("'\t=1"));
    row("leading carriage return", QStringLiteral("\r=1"), QStringLiteral("\"'\r=1\""), QStringLiteral("'\r=1"));
    row("formula after blanks", QStringLiteral("  =HYPERLINK(\"x\")  "), QStringLiteral("\"'=HYPERLINK(\"\"x\"\")\""),
        QStringLiteral("'=HYPERLINK(\"x\")"));
    row("formula with a pipe", QStringLiteral("=cmd|' /C calc'!A0"), QStringLiteral("'=cmd|' /C calc'!A0"),
        QStringLiteral("'=cmd|' /C calc'!A0"));
}

void RecordFieldsTest::referenceField()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QString, cell);
    const TemporaryRecord recordFile;
    const QString &path = recordFile.path;
    {
        EnduranceRun run;
        QVERIFY(run.recordTo(path));
        run.start({QStringLiteral("串口打开成功！"), 2, 19200});
        const std::size_t pass = run.beginPass();
        QVERIFY(!run.countStep(pass, {3, typed, QStringLiteral("00"), true, QStringLiteral("寻卡成功！")}));
        run.endPass();
        run.stop();
    }
    const RecordFile record(path);
    QVERIFY2(record.error().isEmpty(), qPrintable(record.error()));
    const QList<RecordFile::Line> failed = record.events(QStringLiteral("fail"));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0]["reference"], cell);
    QCOMPARE(failed[0]["reading"], QStringLiteral("00"));
    // Whole fields: the written text stands between two field separators.
    QVERIFY2(failed[0].raw().contains(u',' + written + u','), qPrintable(failed[0].raw()));
    QCOMPARE(record.events(QStringLiteral("stop")).size(), 1);
}

QTEST_GUILESS_MAIN(RecordFieldsTest)
#include "test_record_fields.moc"
