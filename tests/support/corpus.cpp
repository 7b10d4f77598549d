#include "corpus.h"

#include <QStringList>

#include <cmath>
#include <random>

namespace {

const char16_t *const kOnsets[] = {u"",   u"b",  u"c",  u"d",  u"f",  u"g",  u"l",  u"m",
                                   u"n",  u"p",  u"r",  u"s",  u"t",  u"v",  u"z",  u"ch",
                                   u"gl", u"gn", u"sc", u"st", u"tr", u"pr", u"br", u"cr",
                                   u"gr", u"fr", u"pl", u"bl", u"sp", u"qu"};
const char16_t kVowels[] = u"aeiouaeioaeo";
const char16_t kCodas[] = u"nrls";
const char16_t kAccented[] = u"àèìòùé";

// The benchmarks quote figures measured on this text, so every draw below
// (their order and the engine) stays as it is: a change makes another text.
class Writer {
public:
    Writer(qsizetype characters, std::uint64_t seed, int vocabulary)
        : m_random(seed), m_target(characters)
    {
        for (int i = 0; i < vocabulary; ++i)
            m_words << inventWord();
        m_text.reserve(characters + 400);
    }

    QString write()
    {
        while (m_text.size() < m_target) {
            if (!m_text.isEmpty())
                m_text += u"\r\n\r\n";
            m_column = 0;
            for (int i = 0, count = 3 + below(6); i < count && m_text.size() < m_target; ++i)
                sentence();
        }
        m_text.truncate(m_target);
        if (m_text.endsWith(u'\r')) // never half a line break
            m_text.back() = u' ';
        return m_text;
    }

private:
    int below(int n) { return int(m_random() % std::uint64_t(n)); }
    bool chance(int percent) { return below(100) < percent; }

    QString inventWord()
    {
        QString word;
        for (int s = 0, syllables = 1 + below(3); s < syllables; ++s) {
            word += QString::fromUtf16(kOnsets[below(std::size(kOnsets))]);
            word += QChar(kVowels[below(std::size(kVowels) - 1)]);
            if (chance(12))
                word += QChar(kCodas[below(std::size(kCodas) - 1)]);
        }
        if (chance(4))
            word += QChar(kAccented[below(std::size(kAccented) - 1)]);
        return word;
    }

    // Frequent words come up more often, as in prose, but every form does.
    const QString &word()
    {
        const double u = std::uniform_real_distribution<double>()(m_random);
        return m_words[qsizetype(u * std::sqrt(u) * m_words.size())];
    }

    void sentence()
    {
        for (int i = 0, count = 4 + below(14); i < count; ++i) {
            QString next = word();
            if (i == 0)
                next[0] = next[0].toUpper();
            if (i + 1 == count)
                next += chance(85) ? u'.' : chance(50) ? u'?' : u'!';
            else if (chance(8))
                next += u',';
            put(next);
        }
    }

    // Breaks the line with CR LF where the word would pass column 70.
    void put(const QString &next)
    {
        if (m_column > 0 && m_column + next.size() > 70) {
            m_text += u"\r\n";
            m_column = 0;
        } else if (m_column > 0) {
            m_text += u' ';
            ++m_column;
        }
        m_text += next;
        m_column += next.size();
    }

    std::mt19937_64 m_random;
    qsizetype m_target;
    QStringList m_words;
    QString m_text;
    qsizetype m_column = 0;
};

} // namespace

QString ItalianLikeText(qsizetype characters, std::uint64_t seed, int vocabulary)
{
    return Writer(characters, seed, vocabulary).write();
}
