// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "LogBox.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
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
    // Only the last line and what follows it can change.
    const int changedFrom =
        std::max(0, static_cast<int>(blockBoundingGeometry(end.block()).translated(contentOffset()).top()));
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
    // The box keeps its scroll range from this signal, which the blocker held
    // back: text beyond the bottom must stay reachable.
    emit layout->documentSizeChanged(layout->documentSize());
    viewport()->update(0, changedFrom, viewport()->width(), viewport()->height() - changedFrom);
}
