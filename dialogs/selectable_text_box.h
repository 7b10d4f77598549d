#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringView>

// A read-only text box the user can scroll, select and copy from, wrapping at
// its width, with a vertical scroll bar only and a button-face background.
//
// Copying (Ctrl+C, the context menu, the X11 selection, a drag) gives exactly
// the selected characters as they were given to replaceText()/appendToText():
// each line break one LF, every other character unchanged, plain text only.
// Qt's own copy would turn a non-breaking space into a space and a line or
// paragraph separator into a line break, and offer an HTML rendering besides.
class SelectableTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SelectableTextBox(QWidget *parent = nullptr);

    // Replaces the whole text. `text` has one LF for each line break and no
    // CR (Qt would make a break of it); every other character is shown and
    // copied as it stands.
    void replaceText(const QString &text);
    // Adds `text` (as for replaceText) at the end, in one edit; the caret and
    // the selection are left alone.
    void appendToText(const QString &text);

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    // What the document shows, character for character: the document itself
    // keeps one kind of line break, so an LF and a U+2029 read back the same.
    QString m_shown;
};

// `text` as the clipboard carries it: valid Unicode, so a surrogate without
// its partner becomes U+FFFD; everything else is unchanged.
QString ClipboardText(QStringView text);
