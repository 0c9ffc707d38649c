// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LogBox.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>

namespace kv {

LogBox::LogBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true); // Tab moves on, as from any other box
    setUndoRedoEnabled(false); // a log has nothing to undo, and no history to keep
    keepFontSizes();
}

void LogBox::keepFontSizes()
{
    const QFontMetrics metrics = fontMetrics();
    m_fontSizes = {metrics.maxWidth(), metrics.lineSpacing(), metrics.height()};
}

void LogBox::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        keepFontSizes();
    QPlainTextEdit::changeEvent(event);
}

// Lines are laid out when they are painted. The first line not yet laid
// out, or `last` if all are, and its top: the box has to repaint from there,
// the lines above stand as they were painted. While the box is not scrolled
// it is found without laying out any line.
std::pair<QTextBlock, qreal> LogBox::firstUnpainted(const QTextBlock &last) const
{
    if (verticalScrollBar()->value() != 0)
        return {last, blockBoundingGeometry(last).translated(contentOffset()).top()};
    const QAbstractTextDocumentLayout *layout = document()->documentLayout();
    // Not scrolled, the first line's box (its margin included) starts at the
    // top of the content.
    QTextBlock block = document()->firstBlock();
    qreal top = contentOffset().y();
    for (; block != last && block.layout()->lineCount() > 0; block = block.next())
        top += layout->blockBoundingRect(block).height();
    return {block, top};
}

void LogBox::appendLine(const QString &line)
{
    QTextDocument *text = document();
    // Only the last line changes, and a line is added after it.
    const auto [unpainted, top] = firstUnpainted(text->lastBlock());
    editQuietly([text, &line](QTextCursor &end) {
        end.setPosition(text->characterCount() - 1);
        end.insertText(line);
        end.insertText(QStringLiteral("\r\n"));
    });
    // The new line is laid out when it is painted, with the other lines of
    // its frame. Only lines that may reach the bottom of the box are laid out
    // now, for the scroll range: text beyond the bottom must stay reachable.
    // Working the range out walks the lines up from the last one, as many as
    // the box shows, so it is skipped while the text fits with room to spare.
    // Every character at twice the font's widest, and each row twice the
    // font's line, bound the height of the lines not laid out yet.
    QAbstractTextDocumentLayout *layout = text->documentLayout();
    const qsizetype width = std::max(1, viewport()->width());
    qreal most = top;
    for (QTextBlock block = unpainted; block.isValid(); block = block.next())
        most += qreal(2 + 2 * block.length() * m_fontSizes.widest / width) * 2 * m_fontSizes.lineSpacing;
    const qreal room = viewport()->height() - text->documentMargin() - 1;
    qreal bottom = most;
    if (verticalScrollBar()->maximum() != 0 || most > room) {
        bottom = top;
        for (QTextBlock block = unpainted; block.isValid(); block = block.next())
            bottom += layout->blockBoundingRect(block).height();
        if (verticalScrollBar()->maximum() != 0 || bottom + m_fontSizes.height > room)
            emit layout->documentSizeChanged(layout->documentSize());
    }
    // Below the new lines the box stays as empty as it was.
    const int from = std::max(0, static_cast<int>(std::floor(top)));
    const int to = std::min(viewport()->height(), static_cast<int>(std::ceil(bottom)));
    if (to > from)
        viewport()->update(0, from, viewport()->width(), to - from);
}

void LogBox::clearText()
{
    editQuietly([](QTextCursor &all) {
        all.select(QTextCursor::Document);
        all.removeSelectedText();
    });
    if (verticalScrollBar()->maximum() != 0) {
        QAbstractTextDocumentLayout *layout = document()->documentLayout();
        emit layout->documentSizeChanged(layout->documentSize());
    }
    viewport()->update();
}

// The document and its layout tell the box of every edit at length: the
// layout asks for the whole box to be repainted; the document has the box
// follow its cursor, ask the input method where that is now (which lays the
// line out) and tell accessibility. The log's own edits need none of it: they
// run with those signals held, and the box then sends its own signals, as the
// document would have had it send them.
void LogBox::editQuietly(const std::function<void(QTextCursor &)> &edit)
{
    QTextDocument *text = document();
    const int cursorWas = textCursor().position();
    const int blocksWere = text->blockCount();
    const bool modifiedWas = text->isModified();
    {
        const QSignalBlocker quietLayout(text->documentLayout());
        const QSignalBlocker quietText(text);
        QTextCursor cursor(text);
        // Placed inside the edit, the cursor does not lay its line out.
        cursor.beginEditBlock();
        edit(cursor);
        cursor.endEditBlock();
    }
    emit textChanged();
    if (text->blockCount() != blocksWere)
        emit blockCountChanged(text->blockCount());
    if (text->isModified() != modifiedWas)
        emit modificationChanged(text->isModified());
    if (textCursor().position() != cursorWas) {
        emit cursorPositionChanged();
        // An operator typing into the box sees the cursor where it went.
        if (hasFocus()) {
            viewport()->update();
            updateMicroFocus();
        }
    }
}

} // namespace kv
