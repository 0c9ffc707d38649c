// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LogBox.h"

#include <algorithm>
#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>

LogBox::LogBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true); // Tab moves on, as from any other box
    setUndoRedoEnabled(false); // a log has nothing to undo, and no history to keep
    // Digits, Latin letters and Chinese characters need no complex shaping;
    // skipping it makes each new line much cheaper to lay out and draw.
    QFont logFont = font();
    logFont.setStyleStrategy(QFont::PreferNoShaping);
    setFont(logFont);
}

void LogBox::appendLine(const QString &line)
{
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    // Only the last line changes, and one line is added after it.
    const QTextBlock changed = end.block();
    const qreal top = blockBoundingGeometry(changed).translated(contentOffset()).top();
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    {
        // The layout asks for the whole box to be repainted whenever a line is
        // added; the area that changes is repainted below instead.
        const QSignalBlocker quiet(layout);
        end.beginEditBlock();
        end.insertText(line);
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("\r\n"));
        end.endEditBlock();
    }
    qreal bottom = top;
    for (QTextBlock block = changed; block.isValid(); block = block.next())
        bottom += layout->blockBoundingRect(block).height();
    // The box keeps its scroll range from this signal, which the blocker held
    // back: text beyond the bottom must stay reachable. Working the range out
    // walks the lines up from the last one, as many as the box shows, at every
    // line; while the whole text fits with a line to spare there is no range.
    const qreal spare = fontMetrics().height() + document()->documentMargin() + 1;
    if (verticalScrollBar()->maximum() != 0 || bottom + spare > viewport()->height())
        emit layout->documentSizeChanged(layout->documentSize());
    const int from = std::max(0, static_cast<int>(std::floor(top)));
    viewport()->update(0, from, viewport()->width(), static_cast<int>(std::ceil(bottom)) - from);
}
