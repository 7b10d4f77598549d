#pragma once

#include <QString>
#include <QStringView>

#include <cstdio>

// Writes generated text to a stream as UTF-8, in buffered chunks. A
// surrogate pair split across two pieces is joined before encoding; a lone
// surrogate is written in its three-byte generalised form when `raw`, so no
// code unit is lost, and as U+FFFD otherwise.
class OutputWriter {
public:
    // raw: write CR and LF as they are; otherwise every CR becomes "\n".
    OutputWriter(std::FILE *stream, bool raw);
    ~OutputWriter();

    void write(QStringView text);
    // Writes what is buffered, keeping a trailing high surrogate back for the
    // next piece; false if the stream failed (a closed pipe).
    bool flush();
    // Writes everything, a trailing lone high surrogate included.
    bool finish();

private:
    void encode(char16_t unit);
    void encodeCodePoint(char32_t codePoint);

    std::FILE *m_stream;
    bool m_raw;
    char16_t m_pendingHigh = 0;
    QByteArray m_buffer;
    bool m_failed = false;
};
