#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of a text file into characters of one UTF-16 code unit each.
// Encoding: a UTF-8 or UTF-16 byte-order mark decides; otherwise valid UTF-8
// is read as UTF-8; otherwise Windows-1252. Every LF not preceded by CR
// becomes CR LF, the line break the preparation steps are written for.
// Never fails: with a UTF-8 mark, an invalid sequence becomes U+FFFD; in
// UTF-16, lone surrogates are kept and an odd last byte becomes U+FFFD.
QString DecodeText(const QByteArray &bytes);
