// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "DriveScript.h"

#include <QByteArrayList>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace kv::drive {
namespace {

enum class TokKind { Word, Separator, Open, Close, End };

struct Token
{
    TokKind kind = TokKind::End;
    QString text;
    bool quoted = false;
};

bool isDelimiter(QChar c)
{
    return c == u';' || c == u'{' || c == u'}' || c == u'"' || c == u'#' || c == u'\n';
}

// Splits the script into words, separators and braces.
bool tokenize(const QString &s, std::vector<Token> &out, QString &error)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s.at(i);
        if (c == u'\n' || c == u';') {
            out.push_back({TokKind::Separator, QString(c), false});
            ++i;
        } else if (c.isSpace()) {
            ++i;
        } else if (c == u'#') {
            while (i < n && s.at(i) != u'\n')
                ++i;
        } else if (c == u'{') {
            out.push_back({TokKind::Open, QStringLiteral("{"), false});
            ++i;
        } else if (c == u'}') {
            out.push_back({TokKind::Close, QStringLiteral("}"), false});
            ++i;
        } else if (c == u'"') {
            QString word;
            ++i;
            bool closed = false;
            while (i < n) {
                const QChar q = s.at(i++);
                if (q == u'"') {
                    closed = true;
                    break;
                }
                if (q == u'\\') {
                    if (i >= n)
                        break;
                    const QChar e = s.at(i++);
                    if (e == u'n')
                        word += u'\n';
                    else if (e == u'"' || e == u'\\')
                        word += e;
                    else {
                        error = QStringLiteral("unknown escape \\%1 in quoted word").arg(e);
                        return false;
                    }
                } else {
                    word += q;
                }
            }
            if (!closed) {
                error = QStringLiteral("unterminated quoted word");
                return false;
            }
            out.push_back({TokKind::Word, word, true});
        } else {
            const qsizetype start = i;
            while (i < n && !s.at(i).isSpace() && !isDelimiter(s.at(i)))
                ++i;
            out.push_back({TokKind::Word, s.mid(start, i - start), false});
        }
    }
    out.push_back({TokKind::End, QString(), false});
    return true;
}

class Parser
{
public:
    explicit Parser(std::vector<Token> tokens) : m_toks(std::move(tokens)) {}

    bool parseAll(std::vector<Step> &steps, QString &error)
    {
        if (!parseList(steps, false, 0))
            return fail(error);
        // Nothing may follow a close: the window and with it the process end there.
        for (std::size_t k = 0; k < steps.size(); ++k) {
            if (steps[k].kind == StepKind::Close && k + 1 != steps.size()) {
                m_error = QStringLiteral("'close' must be the last step");
                return fail(error);
            }
        }
        return true;
    }

private:
    bool fail(QString &error)
    {
        error = m_error;
        return false;
    }

    const Token &peek() const { return m_toks[m_pos]; }
    const Token &take() { return m_toks[m_pos++]; }

    bool isKeyword(const Token &t, const char *word) const
    {
        return t.kind == TokKind::Word && !t.quoted && t.text == QLatin1StringView(word);
    }

    // True when the current step has no more words.
    bool atStepEnd() const
    {
        const TokKind k = peek().kind;
        return k == TokKind::Separator || k == TokKind::Close || k == TokKind::End;
    }

    static QString describe(const Token &t)
    {
        switch (t.kind) {
        case TokKind::Word: return QStringLiteral("'%1'").arg(t.text);
        case TokKind::Separator: return QStringLiteral("end of step");
        case TokKind::Open: return QStringLiteral("'{'");
        case TokKind::Close: return QStringLiteral("'}'");
        case TokKind::End: return QStringLiteral("end of script");
        }
        return QString();
    }

    bool error(const QString &what)
    {
        m_error = what;
        return false;
    }

    bool parseList(std::vector<Step> &steps, bool inBraces, int depth)
    {
        for (;;) {
            const Token &t = peek();
            if (t.kind == TokKind::Separator) {
                take();
                continue;
            }
            if (t.kind == TokKind::End) {
                if (inBraces)
                    return error(QStringLiteral("missing '}'"));
                return true;
            }
            if (t.kind == TokKind::Close) {
                if (!inBraces)
                    return error(QStringLiteral("unexpected '}'"));
                take();
                return true;
            }
            Step step;
            if (!parseStep(step, depth))
                return false;
            steps.push_back(std::move(step));
            if (!atStepEnd())
                return error(QStringLiteral("unexpected %1 after '%2'").arg(describe(peek()), steps.back().source));
        }
    }

    bool word(QString &out, const char *what, const QString &stepName)
    {
        const Token &t = peek();
        if (t.kind != TokKind::Word)
            return error(QStringLiteral("'%1' needs %2, found %3").arg(stepName, QLatin1StringView(what), describe(t)));
        out = take().text;
        return true;
    }

    bool number(std::int64_t &out, std::int64_t min, std::int64_t max, const char *what, const QString &stepName)
    {
        QString text;
        if (!word(text, what, stepName))
            return false;
        bool ok = false;
        const qlonglong v = text.toLongLong(&ok);
        bool digitsOnly = !text.isEmpty();
        for (const QChar c : text)
            digitsOnly = digitsOnly && c.isDigit();
        if (!ok || !digitsOnly)
            return error(QStringLiteral("'%1' needs %2, found '%3'").arg(stepName, QLatin1StringView(what), text));
        if (v < min || v > max)
            return error(QStringLiteral("%1 %2 out of range %3..%4")
                             .arg(QLatin1StringView(what), text).arg(min).arg(max));
        out = v;
        return true;
    }

    // Optional trailing "within MS".
    bool timeout(std::int64_t &out, std::int64_t dflt, const QString &stepName)
    {
        out = dflt;
        if (!isKeyword(peek(), "within"))
            return true;
        take();
        return number(out, 1, kMaxMs, "a time limit in ms", stepName);
    }

    static QString quoteIfNeeded(const QString &w)
    {
        bool plain = !w.isEmpty();
        for (const QChar c : w)
            plain = plain && !c.isSpace() && !isDelimiter(c) && c != u'\\';
        if (plain)
            return w;
        QString q = QStringLiteral("\"");
        for (const QChar c : w) {
            if (c == u'"' || c == u'\\')
                q += u'\\';
            if (c == u'\n')
                q += QStringLiteral("\\n");
            else
                q += c;
        }
        return q + u'"';
    }

    bool parseStep(Step &step, int depth)
    {
        const Token head = take();
        if (head.kind != TokKind::Word || head.quoted)
            return error(QStringLiteral("expected a step, found %1").arg(describe(head)));
        const QString &kw = head.text;
        if (kw == u"paint") {
            step.kind = StepKind::Paint;
            if (!timeout(step.number, kDefaultPaintTimeoutMs, kw))
                return false;
            step.source = QStringLiteral("paint");
        } else if (kw == u"click") {
            step.kind = StepKind::Click;
            if (!word(step.name, "a control name", kw) || !timeout(step.number, kDefaultClickTimeoutMs, kw))
                return false;
            step.source = QStringLiteral("click ") + quoteIfNeeded(step.name);
        } else if (kw == u"wait") {
            step.kind = StepKind::Wait;
            if (!number(step.number, 0, kMaxMs, "a time in ms", kw))
                return false;
            step.source = QStringLiteral("wait %1").arg(step.number);
        } else if (kw == u"until") {
            step.kind = StepKind::Until;
            if (!word(step.name, "a control name", kw))
                return false;
            if (isKeyword(peek(), "is")) {
                step.match = Match::Equals;
            } else if (isKeyword(peek(), "has")) {
                step.match = Match::Contains;
            } else if (isKeyword(peek(), "reaches")) {
                step.match = Match::AtLeast;
            } else {
                return error(QStringLiteral("'until %1' needs 'is', 'has' or 'reaches', found %2")
                                 .arg(step.name, describe(peek())));
            }
            take();
            if (step.match == Match::AtLeast) {
                std::int64_t least = 0;
                if (!number(least, 0, std::numeric_limits<std::int64_t>::max(), "a whole number", kw))
                    return false;
                step.text = QString::number(least);
            } else if (!word(step.text, "a text", kw)) {
                return false;
            }
            if (!timeout(step.number, kDefaultUntilTimeoutMs, kw))
                return false;
            step.source = QStringLiteral("until %1 %2 %3")
                              .arg(quoteIfNeeded(step.name), matchKeyword(step.match), quoteIfNeeded(step.text));
        } else if (kw == u"text") {
            step.kind = StepKind::Text;
            if (!word(step.name, "a control name", kw))
                return false;
            step.source = QStringLiteral("text ") + quoteIfNeeded(step.name);
        } else if (kw == u"texts") {
            step.kind = StepKind::Texts;
            step.source = QStringLiteral("texts");
        } else if (kw == u"grab") {
            step.kind = StepKind::Grab;
            if (!word(step.text, "a file path", kw))
                return false;
            step.source = QStringLiteral("grab ") + quoteIfNeeded(step.text);
        } else if (kw == u"memory") {
            step.kind = StepKind::Memory;
            step.source = QStringLiteral("memory");
        } else if (kw == u"boxes") {
            step.kind = StepKind::Boxes;
            step.source = QStringLiteral("boxes");
        } else if (kw == u"close") {
            if (depth > 0)
                return error(QStringLiteral("'close' cannot be repeated"));
            step.kind = StepKind::Close;
            step.source = QStringLiteral("close");
        } else if (kw == u"repeat") {
            step.kind = StepKind::Repeat;
            if (!number(step.number, 1, kMaxRepeat, "a repeat count", kw))
                return false;
            if (peek().kind == TokKind::Open) {
                take();
                if (!parseList(step.body, true, depth + 1))
                    return false;
                if (step.body.empty())
                    return error(QStringLiteral("'repeat' with nothing in braces"));
                QStringList parts;
                for (const Step &s : step.body)
                    parts << s.source;
                step.source = QStringLiteral("repeat %1 { %2 }").arg(step.number).arg(parts.join(QStringLiteral("; ")));
            } else {
                if (atStepEnd())
                    return error(QStringLiteral("'repeat %1' needs a step").arg(step.number));
                Step inner;
                if (!parseStep(inner, depth + 1))
                    return false;
                step.source = QStringLiteral("repeat %1 %2").arg(step.number).arg(inner.source);
                step.body.push_back(std::move(inner));
            }
        } else {
            return error(QStringLiteral("unknown step '%1'").arg(kw));
        }
        return true;
    }

    std::vector<Token> m_toks;
    std::size_t m_pos = 0;
    QString m_error;
};

} // namespace

QString matchKeyword(Match match)
{
    switch (match) {
    case Match::Equals:
        return QStringLiteral("is");
    case Match::Contains:
        return QStringLiteral("has");
    case Match::AtLeast:
        return QStringLiteral("reaches");
    }
    return {};
}

ParseResult parseScript(const QString &script)
{
    ParseResult result;
    std::vector<Token> tokens;
    if (!tokenize(script, tokens, result.error))
        return result;
    Parser parser(std::move(tokens));
    if (!parser.parseAll(result.steps, result.error))
        result.steps.clear();
    return result;
}

std::optional<std::int64_t> statusFieldKb(const QByteArray &status, const char *key)
{
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : status.split('\n')) {
        if (!line.startsWith(prefix))
            continue;
        QByteArray rest = line.mid(prefix.size()).trimmed();
        if (!rest.endsWith(" kB"))
            return std::nullopt;
        rest.chop(3);
        bool ok = false;
        const qlonglong v = rest.trimmed().toLongLong(&ok);
        if (!ok || v < 0)
            return std::nullopt;
        return v;
    }
    return std::nullopt;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    if (values.size() % 2 == 1)
        return values[mid];
    return (values[mid - 1] + values[mid]) / 2.0;
}

QString fieldValue(const QString &value)
{
    bool plain = !value.isEmpty();
    for (const QChar c : value)
        plain = plain && !c.isSpace() && c != u'"' && c != u'\\' && c != u'=' && c.category() != QChar::Other_Control;
    if (plain)
        return value;
    QString q = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\') {
            q += u'\\';
            q += c;
        } else if (c == u'\n') {
            q += QStringLiteral("\\n");
        } else if (c == u'\r') {
            q += QStringLiteral("\\r");
        } else if (c == u'\t') {
            q += QStringLiteral("\\t");
        } else if (c.category() == QChar::Other_Control) {
            q += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            q += c;
        }
    }
    return q + u'"';
}

std::optional<std::int64_t> parseEpochNs(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const std::int64_t d = c - '0';
        if (v > (std::numeric_limits<std::int64_t>::max() - d) / 10)
            return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

} // namespace kv::drive
