// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <algorithm>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// A message of a translation file.
struct Message
{
    QString context;
    QString source;
    QString comment;
    QString translation;
    QString type; // unfinished, vanished or obsolete; empty when finished
};

QList<Message> messagesOf(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QList<Message> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append({context, {}, {}, {}, {}});
        } else if (!messages.isEmpty() && xml.name() == QLatin1String("source")) {
            messages.back().source = xml.readElementText();
        } else if (!messages.isEmpty() && xml.name() == QLatin1String("comment")) {
            messages.back().comment = xml.readElementText();
        } else if (!messages.isEmpty() && xml.name() == QLatin1String("translation")) {
            messages.back().type = xml.attributes().value(QLatin1String("type")).toString();
            messages.back().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

// The numbered place markers of a text, %1 to %99, sorted.
QStringList placeMarkers(const QString &text)
{
    QStringList markers;
    for (const QRegularExpressionMatch &match : QRegularExpression(QStringLiteral("%\\d{1,2}")).globalMatch(text))
        markers << match.captured();
    markers.sort();
    return markers;
}

bool hasHan(const QString &text)
{
    return std::ranges::any_of(text, [](QChar c) { return c.script() == QChar::Script_Han; });
}

} // namespace

// The English translation is complete. lupdate, run over the program's
// sources into a copy of the translation file as the build's
// update_translations target runs it, finds every text of the code already
// there and translated: a new text comes out unfinished, a text the code no
// longer has comes out vanished. Every translation is English and keeps its
// source's place markers, so no argument is lost.
class TranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void complete_data();
    void complete();

private:
    QTemporaryDir m_folder;
    QList<Message> m_messages;
};

void TranslationsTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    const QString copy = m_folder.filePath(QStringLiteral("copy.ts"));
    QVERIFY(QFile::copy(QStringLiteral(KV_TRANSLATION_FILE), copy));
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(KV_LUPDATE), QStringLiteral(KV_LUPDATE_OPTIONS).split(u' ', Qt::SkipEmptyParts) +
                                                  QStringList{QStringLiteral("@" KV_TRANSLATED_SOURCES),
                                                              QStringLiteral("-ts"), copy});
    QVERIFY2(lupdate.waitForFinished(120000), qPrintable(lupdate.errorString()));
    const QString output = QString::fromLocal8Bit(lupdate.readAll());
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, qPrintable(output));
    QString error;
    m_messages = messagesOf(copy, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // The window's texts are there: an empty list would check nothing.
    QVERIFY2(m_messages.size() >= 60, qPrintable(output));
}

void TranslationsTest::complete_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QString>("type");
    for (const Message &message : std::as_const(m_messages)) {
        const QString name = message.context + u'/' + message.source + (message.comment.isEmpty() ? QString() : u'/' + message.comment);
        QTest::newRow(qPrintable(QString(name).replace(u'\n', QStringLiteral("\\n"))))
            << message.source << message.translation << message.type;
    }
}

void TranslationsTest::complete()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QFETCH(QString, type);
    QVERIFY2(type != QLatin1String("unfinished"),
             "not translated yet: translate it in " KV_TRANSLATION_FILE " (update_translations adds new texts)");
    QVERIFY2(type.isEmpty(), "the code no longer has this text: run the build's update_translations target");
    QVERIFY(!translation.isEmpty());
    QVERIFY2(!hasHan(translation), qPrintable(translation));
    QCOMPARE(placeMarkers(translation), placeMarkers(source));
}

QTEST_GUILESS_MAIN(TranslationsTest)
#include "test_translations.moc"
