#include "selectable_text_box.h"

#include <QMimeData>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>

SelectableTextBox::SelectableTextBox(QWidget *parent) : QPlainTextEdit(parent)
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
}

void SelectableTextBox::replaceText(const QString &text)
{
    m_shown = text;
    setPlainText(text);
}

void SelectableTextBox::appendToText(const QString &text)
{
    if (text.isEmpty())
        return;
    m_shown += text;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
}

QMimeData *SelectableTextBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QString selected;
    // The document holds one position per character given, so its positions
    // index m_shown directly. Should the document have been changed behind
    // our back, its own characters are the next best thing.
    if (document()->characterCount() - 1 == m_shown.size()) {
        selected = m_shown.mid(start, end - start);
    } else {
        selected = document()->toRawText().mid(start, end - start);
        selected.replace(QChar::ParagraphSeparator, u'\n');
    }
    auto *data = new QMimeData;
    data->setText(ClipboardText(selected));
    return data;
}

QString ClipboardText(QStringView text)
{
    QString out = text.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i; // a whole pair
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}
