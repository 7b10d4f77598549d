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
// written ends the program with a message (qFatal): nothing a test could check
// afterwards would mean anything.
QString WriteTempFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// Encoders for writing fixtures. Windows-1252 and UTF-8 end the program
// (qFatal) on a character they cannot encode: a fixture is never silently
// altered. UTF-16 keeps every code unit, lone surrogates included.
QByteArray EncodeWindows1252(const QString &text);
QByteArray EncodeUtf8(const QString &text);
enum class ByteOrder { LittleEndian, BigEndian };
QByteArray EncodeUtf16(const QString &text, ByteOrder order, bool withMark);
