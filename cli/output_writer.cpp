#include "output_writer.h"

namespace {

bool isHigh(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLow(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

constexpr qsizetype kFlushBytes = 1 << 16;

} // namespace

OutputWriter::OutputWriter(std::FILE *stream, bool raw) : m_stream(stream), m_raw(raw) {}

OutputWriter::~OutputWriter()
{
    finish();
}

bool OutputWriter::finish()
{
    if (m_pendingHigh != 0) {
        const char16_t high = m_pendingHigh;
        m_pendingHigh = 0;
        encodeCodePoint(high);
    }
    return flush();
}

void OutputWriter::write(QStringView text)
{
    for (QChar ch : text)
        encode(ch.unicode());
    if (m_buffer.size() >= kFlushBytes)
        flush();
}

bool OutputWriter::flush()
{
    if (!m_buffer.isEmpty() && !m_failed) {
        if (std::fwrite(m_buffer.constData(), 1, size_t(m_buffer.size()), m_stream) !=
            size_t(m_buffer.size()))
            m_failed = true;
        m_buffer.clear();
    }
    if (std::fflush(m_stream) != 0)
        m_failed = true;
    return !m_failed;
}

void OutputWriter::encode(char16_t unit)
{
    if (m_pendingHigh != 0) {
        const char16_t high = m_pendingHigh;
        m_pendingHigh = 0;
        if (isLow(unit)) {
            encodeCodePoint(0x10000 + ((char32_t(high) - 0xD800) << 10) + (unit - 0xDC00));
            return;
        }
        encodeCodePoint(high);
    }
    if (isHigh(unit)) {
        m_pendingHigh = unit;
        return;
    }
    if (unit == u'\r' && !m_raw)
        unit = u'\n';
    encodeCodePoint(unit);
}

void OutputWriter::encodeCodePoint(char32_t cp)
{
    if (!m_raw && cp >= 0xD800 && cp <= 0xDFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        m_buffer.append(char(cp));
    } else if (cp < 0x800) {
        m_buffer.append(char(0xC0 | (cp >> 6)));
        m_buffer.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        m_buffer.append(char(0xE0 | (cp >> 12)));
        m_buffer.append(char(0x80 | ((cp >> 6) & 0x3F)));
        m_buffer.append(char(0x80 | (cp & 0x3F)));
    } else {
        m_buffer.append(char(0xF0 | (cp >> 18)));
        m_buffer.append(char(0x80 | ((cp >> 12) & 0x3F)));
        m_buffer.append(char(0x80 | ((cp >> 6) & 0x3F)));
        m_buffer.append(char(0x80 | (cp & 0x3F)));
    }
}
