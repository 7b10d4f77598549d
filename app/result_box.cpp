#include "result_box.h"

#include "box_text.h"

#include <QTextCursor>

ResultBox::ResultBox(QWidget *parent) : SelectableTextBox(parent)
{
    QFont font(QStringLiteral("Times New Roman"), 12, QFont::Bold);
    setFont(font);
}

void ResultBox::clearText()
{
    m_text.clear();
    replaceText(QString());
}

void ResultBox::appendText(const QString &text)
{
    const QString converted = BoxText(text);
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
    appendToText(shown);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
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
