#include "result_box.h"

#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

ResultBox::ResultBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always there, so that the text does not re-wrap when the box first fills.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setReadOnly(true);
    // Read-only still lets the user move a caret, select with mouse or keyboard,
    // and copy (the context menu offers Copy and Select All).
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Nothing here is ever undone; an undo stack would only grow with the text.
    document()->setUndoRedoEnabled(false);

    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, pal.color(group, QPalette::Button));
    setPalette(pal);

    QFont font(QStringLiteral("Times New Roman"), 12, QFont::Bold);
    setFont(font);
}

void ResultBox::clearText()
{
    m_text.clear();
    clear();
}

void ResultBox::appendText(const QString &text)
{
    QString converted = text;
    converted.replace(u'\r', QStringLiteral("\r\n"));
    m_text += converted;

    // The display needs one LF per break; dropping the CRs turns CR LF into LF
    // and leaves a lone LF as it is.
    QString shown = converted;
    shown.remove(u'\r');

    // One insertion at the end: the document re-lays out only the last
    // paragraph, so with line breaks an append costs the same however full the
    // box is (one long paragraph is laid out whole each time). Qt paints from
    // the event loop only, so the box is never drawn between insertion and
    // caret move.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!shown.isEmpty())
        cursor.insertText(shown);
    // Also drops any selection; setting the cursor scrolls it into view.
    setTextCursor(cursor);
}

void ResultBox::restoreText(const QString &text)
{
    // text() is what appendText() made of the appended text, every CR having
    // gained one LF; taking that LF back off gives text that, appended again,
    // rebuilds it exactly through the one path that keeps display and length
    // in step.
    QString appended = text;
    appended.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    clearText();
    appendText(appended);
}
