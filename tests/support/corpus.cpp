#include "corpus.h"

#include "random_source.h"

#include <QFile>
#include <QStringList>

namespace {

// The project's own word stock, '|' between entries. Noun phrases carry
// their article and prepositions come already joined to it, so that sentences
// read like Italian without a grammar; accented letters and apostrophes occur
// as they would.
const char16_t kSubjects[] =
    u"la città|il fiume|l'estate|la piazza|il ponte|la nonna|il vecchio pescatore|"
    u"una ragazza|il cane del fornaio|l'inverno|la strada|il campanile|le rondini|"
    u"gli alberi|la gente del paese|un viandante|il mercato|la luce del mattino|"
    u"il vento|l'autunno|la bottega|il maestro|i bambini|la pioggia|"
    u"il treno delle sette|la casa gialla|un gatto|l'università|la primavera|"
    u"il caffè|la virtù|il lunedì|lo zio Niccolò|la neve|il mare|un'amica|"
    u"l'orologio della torre|la sera|il giardino|le colline";
const char16_t kVerbs[] = u"cammina|guarda|è|sembra|porta|racconta|arriva|resta|passò|ricordò|aprì|"
                          u"cominciò|tornerà|si ferma|aspetta|scende|sale|canta|dorme|cambiò|partì|"
                          u"ritrova|scrive|attraversa|perde|cerca|sarà|era|finì|corre";
const char16_t kComplements[] =
    u"antico|più lento|tranquilla|così calmo|felice|stanco|già lontano|"
    u"un po' triste|verde e grigio|pieno di voci|senza fretta|da solo|"
    u"come ogni anno|più chiaro del solito|a lungo|in silenzio|ancora|di nuovo|"
    u"piano piano|là in fondo|giù per la discesa";
const char16_t kPlaces[] =
    u"nella piazza|sul ponte|dell'estate|al mercato|dalla collina|con gli amici|"
    u"per la città|tra gli alberi|verso il porto|lungo il fiume|sotto i portici|"
    u"davanti alla chiesa|dietro la stazione|fino al lago|nell'orto|sulla finestra|"
    u"oltre le mura|all'osteria|dopo la scuola|accanto al forno|in cima alla salita|"
    u"fra le case";
const char16_t kConnectors[] =
    u"poi|però|quando|mentre|perché|così|allora|forse|intanto|eppure|finché|ma|e|"
    u"anche se|più tardi";
const char16_t kNumbers[] =
    u"nel %1|alle %1|dopo %1 giorni|per %1 chilometri|il %1 aprile|con %1 euro|"
    u"verso le %1,30|da %1 anni";

struct WordStock {
    QStringList subjects = entries(kSubjects);
    QStringList verbs = entries(kVerbs);
    QStringList complements = entries(kComplements);
    QStringList places = entries(kPlaces);
    QStringList connectors = entries(kConnectors);
    QStringList numbers = entries(kNumbers);

    static QStringList entries(const char16_t *list)
    {
        return QString::fromUtf16(list).split(u'|');
    }
};

class ProseWriter {
public:
    ProseWriter(qsizetype characters, std::uint64_t seed) : m_random(seed), m_target(characters)
    {
        m_text.reserve(characters + 200);
    }

    QString write()
    {
        while (m_text.size() < m_target) {
            if (!m_text.isEmpty())
                m_text += QStringLiteral("\r\n\r\n");
            m_column = 0;
            const std::int64_t sentences = 3 + m_random.index(5);
            for (std::int64_t i = 0; i < sentences && m_text.size() < m_target; ++i)
                sentence();
        }
        m_text.truncate(m_target);
        // A cut between CR and LF would leave a half line break behind.
        if (m_text.endsWith(u'\r'))
            m_text.back() = u' ';
        return m_text;
    }

private:
    QString pick(const QStringList &words)
    {
        return words[qsizetype(m_random.index(std::int64_t(words.size())))];
    }

    bool chance(double probability) { return m_random.next() < probability; }

    QString number()
    {
        // Years for "nel", small counts elsewhere: digits of varied lengths.
        const QString form = pick(m_words.numbers);
        const std::int64_t value =
            form.startsWith(u"nel") ? 1850 + m_random.index(175) : 1 + m_random.index(24);
        return form.arg(value);
    }

    QString clause()
    {
        QStringList parts;
        if (chance(0.1))
            parts << number() + u',';
        if (chance(0.15)) {
            parts << QStringLiteral("è") << pick(m_words.complements);
        } else {
            parts << pick(m_words.subjects) << pick(m_words.verbs);
            if (chance(0.6))
                parts << pick(m_words.complements);
        }
        if (chance(0.7))
            parts << pick(m_words.places);
        if (chance(0.08))
            parts << number();
        return parts.join(u' ');
    }

    void sentence()
    {
        QString text = clause();
        const std::int64_t more = m_random.index(3);
        for (std::int64_t i = 0; i < more; ++i) {
            const double separator = m_random.next();
            if (separator < 0.6)
                text += QStringLiteral(", ") + pick(m_words.connectors) + u' ';
            else if (separator < 0.8)
                text += QStringLiteral("; ");
            else
                text += QStringLiteral(" e ");
            text += clause();
        }
        const double end = m_random.next();
        text += end < 0.8 ? u'.' : end < 0.93 ? u'?' : u'!';
        text[0] = text[0].toUpper();
        if (chance(0.07))
            text = u'«' + text + QStringLiteral("» disse ") + pick(m_words.subjects) + u'.';
        for (const QString &word : text.split(u' '))
            appendWord(word);
    }

    // Lines wrap before 72 columns, like a text typed with hard line breaks.
    void appendWord(const QString &word)
    {
        if (m_column > 0 && m_column + 1 + word.size() > 72) {
            m_text += QStringLiteral("\r\n");
            m_column = 0;
        } else if (m_column > 0) {
            m_text += u' ';
            ++m_column;
        }
        m_text += word;
        m_column += word.size();
    }

    const WordStock m_words;
    RandomSource m_random;
    qsizetype m_target;
    QString m_text;
    qsizetype m_column = 0;
};

// Windows-1252 bytes 0x80..0x9F by the character they stand for; the five
// bytes the code page leaves undefined stand for the C1 control of that value.
char windows1252High(char16_t unit, bool &found)
{
    found = true;
    switch (unit) {
    case u'€':
        return char(0x80);
    case u'\u0081':
        return char(0x81);
    case u'‚':
        return char(0x82);
    case u'ƒ':
        return char(0x83);
    case u'„':
        return char(0x84);
    case u'…':
        return char(0x85);
    case u'†':
        return char(0x86);
    case u'‡':
        return char(0x87);
    case u'ˆ':
        return char(0x88);
    case u'‰':
        return char(0x89);
    case u'Š':
        return char(0x8A);
    case u'‹':
        return char(0x8B);
    case u'Œ':
        return char(0x8C);
    case u'\u008D':
        return char(0x8D);
    case u'Ž':
        return char(0x8E);
    case u'\u008F':
        return char(0x8F);
    case u'\u0090':
        return char(0x90);
    case u'‘':
        return char(0x91);
    case u'’':
        return char(0x92);
    case u'“':
        return char(0x93);
    case u'”':
        return char(0x94);
    case u'•':
        return char(0x95);
    case u'–':
        return char(0x96);
    case u'—':
        return char(0x97);
    case u'˜':
        return char(0x98);
    case u'™':
        return char(0x99);
    case u'š':
        return char(0x9A);
    case u'›':
        return char(0x9B);
    case u'œ':
        return char(0x9C);
    case u'\u009D':
        return char(0x9D);
    case u'ž':
        return char(0x9E);
    case u'Ÿ':
        return char(0x9F);
    default:
        found = false;
        return 0;
    }
}

} // namespace

QString ItalianLikeText(qsizetype characters, std::uint64_t seed)
{
    if (characters <= 0)
        return QString();
    return ProseWriter(characters, seed).write();
}

QString WriteTempFile(QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    if (!dir.isValid())
        qFatal("WriteTempFile: temporary directory not created: %s", qPrintable(dir.errorString()));
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        qFatal("WriteTempFile: cannot write %s: %s", qPrintable(path),
               qPrintable(file.errorString()));
    return path;
}

QByteArray EncodeWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bool found = false;
        const char high = windows1252High(unit, found);
        if (found)
            bytes += high;
        else if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
            bytes += char(unit);
        else
            qFatal("EncodeWindows1252: U+%04X at %lld has no Windows-1252 byte", unsigned(unit),
                   static_cast<long long>(i));
    }
    return bytes;
}

QByteArray EncodeUtf8(const QString &text)
{
    // QString::toUtf8 would quietly turn a lone surrogate into '?'.
    if (!text.isValidUtf16())
        qFatal("EncodeUtf8: text holds a lone surrogate; write such bytes explicitly");
    return text.toUtf8();
}

QByteArray EncodeUtf16(const QString &text, ByteOrder order, bool withMark)
{
    QByteArray bytes;
    bytes.reserve(2 * (text.size() + 1));
    const auto put = [&bytes, order](char16_t unit) {
        const char high = char(unit >> 8);
        const char low = char(unit & 0xFF);
        if (order == ByteOrder::BigEndian)
            bytes.append(high).append(low);
        else
            bytes.append(low).append(high);
    };
    if (withMark)
        put(u'\uFEFF');
    for (const QChar c : text)
        put(c.unicode());
    return bytes;
}
