#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

// Plausible Italian-like prose of exactly `characters` UTF-16 code units, the
// same for the same seed: sentences from the project's own word list, commas,
// apostrophes, accented letters, now and then a number, lines wrapped with
// CR LF, paragraphs separated by a blank line.
QString ItalianLikeText(qsizetype characters, std::uint64_t seed);

// Writes bytes to dir/name and returns the path. A fixture that cannot be
// written ends the program (qFatal): nothing a test checked afterwards would
// mean anything.
QString WriteTempFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// Encoders for fixtures; a character they cannot encode ends the program
// (qFatal), so a fixture is never silently altered.
QByteArray EncodeWindows1252(const QString &text);
QByteArray EncodeUtf8(const QString &text);
