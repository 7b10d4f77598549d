#pragma once

#include "selectable_text_box.h"

#include <QString>

// The output box: read-only but selectable and copyable, wrapping at its
// width, with a vertical scroll bar only; a copy gives the generated
// characters unchanged, each line break as one LF.
//
// Its text is held as the program sees it: every carriage return is followed
// by a line feed, and the length counts both. The display shows a line break
// for each CR LF pair and also for a line feed that stands alone (the one an
// appended CR LF leaves behind), so a break counts two characters or one. Only
// appendText() and clearText() may change the text; they keep the display,
// the CR LF text and the length in step.
class ResultBox : public SelectableTextBox {
    Q_OBJECT
    Q_PROPERTY(int MaxLength READ MaxLength CONSTANT)
    Q_PROPERTY(int textLength READ textLength)
public:
    explicit ResultBox(QWidget *parent = nullptr);

    // The length the run stops near (the box itself never truncates).
    int MaxLength() const { return 65535; }

    // Characters in the text, each CR LF counting two; O(1).
    int textLength() const { return int(m_text.size()); }

    // The text with CR LF (or a lone LF, see above) for each line break.
    const QString &text() const { return m_text; }

    // Empties the box.
    void clearText();

    // Appends `text` with every CR turned into CR LF, puts the caret after the
    // last character and scrolls it into view, in one edit at the end.
    void appendText(const QString &text);

    // Puts back a text that text() returned earlier, as it was then.
    void restoreText(const QString &text);

private:
    QString m_text;
};
