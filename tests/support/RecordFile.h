// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QFile>
#include <QtGlobal>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kv {

// The record of automatic tests (--record) as a spreadsheet reads it: the
// byte-order mark, the header line, and every later line split into fields as
// RFC 4180 has it. A field is found by the header's name for its column, so
// that the tests hold whatever columns are added.
class RecordFile
{
    Q_DISABLE_COPY_MOVE(RecordFile)

public:
    // One line after the header.
    class Line
    {
    public:
        Line(const QStringList *header, QStringList fields, QString raw)
            : m_header(header), m_fields(std::move(fields)), m_raw(std::move(raw))
        {}
        // The field of the column `column`; a column the header lacks is a
        // fault of the test, which ends it.
        QString operator[](const char *column) const
        {
            const qsizetype at = m_header->indexOf(QLatin1StringView(column));
            if (at < 0)
                qFatal("the record has no column %s", column);
            return m_fields.value(at);
        }
        qsizetype size() const { return m_fields.size(); }
        // The line as written, without its CR LF.
        const QString &raw() const { return m_raw; }

    private:
        const QStringList *m_header;
        QStringList m_fields;
        QString m_raw;
    };

    explicit RecordFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return;
        }
        QByteArray bytes = file.readAll();
        m_byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
        if (m_byteOrderMark)
            bytes.remove(0, 3);
        parse(QString::fromUtf8(bytes));
    }

    // Empty when the file was read and is well-formed CSV ending in CR LF.
    const QString &error() const { return m_error; }
    bool byteOrderMark() const { return m_byteOrderMark; }
    const QStringList &header() const { return m_header; }
    const QList<Line> &lines() const { return m_lines; }
    // The lines whose column "event" holds `event`, from line `from` on.
    QList<Line> events(const QString &event, qsizetype from = 0) const
    {
        QList<Line> found;
        for (qsizetype i = from; i < m_lines.size(); ++i)
            if (m_lines[i]["event"] == event)
                found << m_lines[i];
        return found;
    }

private:
    void parse(const QString &text)
    {
        QList<std::pair<QStringList, QString>> rows;
        QStringList row;
        QString field;
        qsizetype rowStart = 0;
        bool quoted = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (quoted) {
                if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                    field += c, ++i;
                else if (c == u'"')
                    quoted = false;
                else
                    field += c;
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u',') {
                row << field, field.clear();
            } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                row << field, field.clear();
                rows.append({row, text.mid(rowStart, i - rowStart)});
                row.clear();
                rowStart = ++i + 1;
            } else {
                field += c;
            }
        }
        if (quoted || !row.isEmpty() || !field.isEmpty()) {
            m_error = QStringLiteral("the record does not end with CR LF outside quotes");
            return;
        }
        if (rows.isEmpty()) {
            m_error = QStringLiteral("the record has no header");
            return;
        }
        m_header = rows.takeFirst().first;
        for (auto &[fields, raw] : rows) {
            if (fields.size() != m_header.size()) {
                m_error = QStringLiteral("a line has %1 fields, the header %2: %3")
                              .arg(fields.size())
                              .arg(m_header.size())
                              .arg(raw);
                return;
            }
            m_lines.append(Line(&m_header, std::move(fields), std::move(raw)));
        }
    }

    QString m_error;
    bool m_byteOrderMark = false;
    QStringList m_header;
    QList<Line> m_lines;
};

// A record file's path in a folder of its own, removed with it.
class TemporaryRecord
{
    QTemporaryDir m_folder; // made before the path

public:
    TemporaryRecord()
    {
        if (!m_folder.isValid())
            qFatal("no temporary folder: %s", qPrintable(m_folder.errorString()));
    }
    const QString path = m_folder.filePath(QStringLiteral("record.csv"));
};

} // namespace kv
