// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <algorithm>
#include <climits>
#include <memory>
#include <string_view>

#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QXmlStreamReader>

#include "FormHarness.h"
#include "Language.h"
#include "LogBox.h"
#include "ReadFormat.h"

using namespace kv;

Q_DECLARE_METATYPE(kv::Language)

namespace {

// A text in the room a control gives it, in pixels; a side of the room that
// is 0 is not measured.
struct Fit
{
    QString control;
    QString text;
    QSize needed;
    QSize room;

    int widthMargin() const { return room.width() > 0 ? room.width() - needed.width() : INT_MAX; }
    int heightMargin() const { return room.height() > 0 ? room.height() - needed.height() : INT_MAX; }
    int margin() const { return std::min(widthMargin(), heightMargin()); }
    QString describe() const
    {
        return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
            .arg(control, QString(text).replace(u'\n', QStringLiteral("\\n")))
            .arg(needed.width())
            .arg(needed.height())
            .arg(room.width())
            .arg(room.height());
    }
};

// A button draws its caption centred in its contents rectangle; the style
// wants its button margin around it.
Fit buttonFit(const QPushButton &button, const QString &text)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = text;
    if (button.autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    if (button.isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    const QStyle *style = button.style();
    const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, &button);
    const QSize needed = button.fontMetrics().size(Qt::TextShowMnemonic, option.text) + QSize(margin, 0);
    return {button.objectName(), option.text, needed, contents.size()};
}

// A label draws its lines in its contents rectangle.
Fit labelFit(const QLabel &label, const QString &text)
{
    const int margin = label.margin();
    const QRect room = label.contentsRect().adjusted(margin, margin, -margin, -margin);
    return {label.objectName(), text, label.fontMetrics().size(0, text), room.size()};
}

// A frame's caption stands on its top line, as far from its right end as
// the style puts it from its left one.
Fit frameFit(const QGroupBox &box)
{
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.textAlignment = box.alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QStyle *style = box.style();
    const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    const QRect frame = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, &box);
    const int indent = label.left() - frame.left();
    return {box.objectName(), box.title(), QSize(label.width() + 2 * indent, label.height()),
            QSize(frame.width(), box.height())};
}

// A line edit scrolls a text wider than its contents rectangle, less its
// text margins and the two pixels it keeps on each side.
Fit lineEditFit(const QLineEdit &edit, const QString &name, const QString &text)
{
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
    const QRect contents = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
    const QMargins margins = edit.textMargins();
    const int sides = margins.left() + margins.right() + 2 * 2;
    const QSize room(contents.width() - sides, contents.height() - margins.top() - margins.bottom());
    return {name, text, edit.fontMetrics().size(0, text), room};
}

// Every control that shows a text, with the text it shows now.
QList<Fit> controlFits(const Form1 &form)
{
    QList<Fit> fits;
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        if (widget->objectName().isEmpty() || !widget->isVisibleTo(&form))
            continue;
        if (const auto *button = qobject_cast<const QPushButton *>(widget))
            fits << buttonFit(*button, button->text());
        else if (const auto *label = qobject_cast<const QLabel *>(widget))
            fits << labelFit(*label, label->text());
        else if (const auto *box = qobject_cast<const QGroupBox *>(widget))
            fits << frameFit(*box);
        else if (const auto *combo = qobject_cast<const QComboBox *>(widget))
            fits << lineEditFit(*combo->lineEdit(), combo->objectName(), combo->currentText());
        else if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
            fits << lineEditFit(*edit, edit->objectName(), edit->text());
    }
    return fits;
}

// Every line of the log on one line of the box, and every line in sight.
QList<Fit> logFits(const LogBox &log)
{
    QList<Fit> fits;
    const QTextDocument &document = *log.document();
    const int lines = document.blockCount() - 1; // after the last CR LF an empty block
    for (QTextBlock block = document.firstBlock(); block.isValid() && block.blockNumber() < lines;
         block = block.next()) {
        document.documentLayout()->blockBoundingRect(block); // lays the block out
        const QTextLine first = block.layout()->lineAt(0);
        // A line the box wraps is cut off, however wide the font says it is.
        const bool wrapped = block.layout()->lineCount() > 1;
        const int width = qFloor(first.width());
        const int needed = std::max(log.fontMetrics().horizontalAdvance(block.text()), wrapped ? width + 1 : 0);
        fits << Fit{log.objectName(), block.text(), QSize(needed, 0), QSize(width, 0)};
    }
    const qreal bottom = document.documentLayout()->blockBoundingRect(document.lastBlock().previous()).bottom();
    fits << Fit{log.objectName(), QStringLiteral("%1 lines").arg(lines), QSize(0, qCeil(bottom)),
                QSize(0, log.viewport()->height())};
    return fits;
}

// The status line's texts of a language, as the translation file lists them.
QStringList statusTexts(Language language)
{
    QFile file(QStringLiteral(":/translations/kv718st-demo_en.ts"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QStringList texts;
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (context == QLatin1String("Status") && xml.name() == QLatin1String("source") &&
                 language == Language::Chinese)
            texts << xml.readElementText();
        else if (context == QLatin1String("Status") && xml.name() == QLatin1String("translation") &&
                 language == Language::English)
            texts << xml.readElementText();
    }
    return texts;
}

// The widest of `characters` in a font.
char widest(const QFontMetrics &metrics, const char *characters)
{
    const std::string_view all(characters);
    return *std::ranges::max_element(all, {}, [&metrics](char c) { return metrics.horizontalAdvance(QLatin1Char(c)); });
}

// The standard card's reply in `format` with every digit the widest it can
// be in the log's font: a decimal format replies with the characters of its
// number, which read as 30 to 39, the others with any byte.
QByteArray widestReply(int format, const QFontMetrics &metrics)
{
    QByteArray reply = QByteArray::fromHex(kStandardHex[static_cast<std::size_t>(format)].toLatin1());
    const char hexDigit = widest(metrics, "0123456789ABCDEF");
    const char decimalDigit = widest(metrics, "0123456789");
    for (char &byte : reply) {
        if (!kReadFormats[static_cast<std::size_t>(format)].hasText())
            byte = static_cast<char>(QByteArray(2, hexDigit).toUInt(nullptr, 16));
        else if (byte >= '0' && byte <= '9')
            byte = decimalDigit;
    }
    return reply;
}

void addLanguageRows()
{
    QTest::addColumn<Language>("language");
    QTest::newRow("zh") << Language::Chinese;
    QTest::newRow("en") << Language::English;
}

} // namespace

// The window in both languages: every text fits its control at the
// layout's geometry, with the fonts the window uses, and the decisions do
// not depend on the language.
class LanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { useLanguage(Language::Chinese); }
    void everyTextFits_data() { addLanguageRows(); }
    void everyTextFits();
    void decisionsDoNotDependOnTheLanguage_data() { addLanguageRows(); }
    void decisionsDoNotDependOnTheLanguage();
};

// Every control in the states an operator sees: at the start, after
// read-all, during a pass and after the stop, with readings of the widest
// digits and a failure of the longest reading; every status text in the
// status line and every indicator command in its list.
void LanguageTest::everyTextFits()
{
    QFETCH(Language, language);
    // Measuring in a stand-in font would prove nothing.
    if (QFontDatabase::families().isEmpty())
        QSKIP("no fonts: this platform plugin finds none (Qt for Windows offscreen under Wine), so no text can be "
              "measured");
    if (language == Language::Chinese && QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        QSKIP("no font with Chinese characters (on Debian: fonts-wqy-microhei)");
    QVERIFY(useLanguage(language));
    FormHarness harness;
    const auto *log = harness.child<LogBox>(QStringLiteral("txtTestResult"));
    for (int format = 0; format < kFormatCount; ++format)
        harness.reader.setReply(format, widestReply(format, log->fontMetrics()));

    QList<Fit> fits = controlFits(*harness.form);
    harness.click(QStringLiteral("cmdReadAll"));
    fits << controlFits(*harness.form);

    // Step 1, one of the two longest readings, fails by one digit: its line
    // and the last failure are the widest they can be.
    QString reference = harness.text(QStringLiteral("txtZiFu_1"));
    reference.front() = reference.front() == u'2' ? u'3' : u'2';
    harness.setText(QStringLiteral("txtZiFu_1"), reference);
    // Measured when a pass has logged its last step, which stops the test.
    bool measured = false;
    QObject::connect(log, &QPlainTextEdit::textChanged, harness.form.get(), [&] {
        if (measured || log->document()->blockCount() <= kFormatCount)
            return;
        measured = true;
        fits << controlFits(*harness.form) << logFits(*log);
        harness.click(QStringLiteral("cmdZiDongCeShi"));
    });
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QTRY_VERIFY_WITH_TIMEOUT(measured, 5000);
    QTRY_VERIFY(!harness.form->findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
    QTest::qWait(50); // the pass ends
    QVERIFY2(harness.text(QStringLiteral("lblStatLastFailure")).contains(reference),
             qPrintable(harness.text(QStringLiteral("lblStatLastFailure"))));
    fits << controlFits(*harness.form);

    // The reader's link as the frame shows it, lost and back.
    for (const bool up : {false, true}) {
        harness.form->linkChanged(up, QStringLiteral("port 1 (/dev/ttyUSB0)"));
        fits << controlFits(*harness.form);
    }
    // The counts of a night's test: a reader lost for hours fails some
    // 300,000 steps an hour.
    for (const char *count : {"lblStatPasses", "lblStatSteps", "lblStatFailures", "lblStatNoRead", "lblStatWrongRead",
                              "lblStatPortClosed"})
        fits << labelFit(*harness.child<QLabel>(QString::fromLatin1(count)), QStringLiteral("8888888"));

    auto *status = harness.child<QLabel>(QStringLiteral("Label_RetInfo"));
    const QStringList statuses = statusTexts(language);
    QVERIFY(statuses.size() >= 10);
    for (const QString &text : statuses)
        fits << labelFit(*status, text);
    auto *indicators = harness.child<QComboBox>(QStringLiteral("cboLED"));
    for (int i = 0; i < indicators->count(); ++i)
        fits << lineEditFit(*indicators->lineEdit(), indicators->objectName(), indicators->itemText(i));

    // The widest text of each control, the tightest controls first.
    std::ranges::stable_sort(fits, {}, &Fit::widthMargin);
    QStringList tightest;
    QSet<QString> seen;
    for (const Fit &fit : std::as_const(fits))
        if (!seen.contains(fit.control) && tightest.size() < 12) {
            seen << fit.control;
            tightest << QStringLiteral("%1 px to spare: %2").arg(fit.widthMargin()).arg(fit.describe());
        }
    qInfo("%s", qPrintable(QStringLiteral("tightest:\n  ") + tightest.join(QStringLiteral("\n  "))));
    QStringList cut;
    for (const Fit &fit : std::as_const(fits))
        if (fit.margin() < 0 && !cut.contains(fit.describe()))
            cut << fit.describe();
    QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("cut off:\n  ") + cut.join(QStringLiteral("\n  "))));
}

// The toggle holds the test's state in its caption, compared with the
// caption of the language in use; the indicator command is its position in
// the list.
void LanguageTest::decisionsDoNotDependOnTheLanguage()
{
    QFETCH(Language, language);
    QVERIFY(useLanguage(language));
    FormHarness harness;
    harness.child<QComboBox>(QStringLiteral("cboLED"))->setCurrentIndex(2);
    harness.click(QStringLiteral("cmdLED"));
    QCOMPARE(harness.reader.takeCalls(), QStringList{QStringLiteral("light(0,2)")});

    auto *timer = harness.form->findChild<QTimer *>(QStringLiteral("Timer1"));
    const QString stopped = harness.text(QStringLiteral("cmdZiDongCeShi"));
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QVERIFY(timer->isActive());
    QVERIFY(harness.text(QStringLiteral("cmdZiDongCeShi")) != stopped);
    harness.click(QStringLiteral("cmdZiDongCeShi"));
    QVERIFY(!timer->isActive());
    QCOMPARE(harness.text(QStringLiteral("cmdZiDongCeShi")), stopped);
    QCOMPARE(harness.reader.calls(), (QStringList{QStringLiteral("initCom(0,2,19200)"), QStringLiteral("closePort()")}));
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
