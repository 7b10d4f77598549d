#pragma once

#include <QString>
#include <QStringView>

// How the output box holds text: every carriage return followed by a line
// feed, the length counting both. ResultBox keeps its text so; the run
// control counts with the same rule to stop near the box's maximum length.

// `text` as the box holds it.
inline QString BoxText(const QString &text)
{
    QString held = text;
    held.replace(u'\r', QStringLiteral("\r\n"));
    return held;
}

// The characters `text` adds to the box: BoxText(text).size(), without
// building it.
inline int BoxLength(QStringView text)
{
    return int(text.size() + text.count(u'\r'));
}
