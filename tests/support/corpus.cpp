#include "corpus.h"

#include "random_source.h"

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

QStringList entries(const char16_t *list)
{
    return QString::fromUtf16(list).split(u'|');
}

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

    // Years for "nel", small counts elsewhere: digits of varied lengths.
    QString number()
    {
        const QString form = pick(m_numbers);
        return form.arg(form.startsWith(u"nel") ? 1850 + m_random.index(175)
                                                : 1 + m_random.index(24));
    }

    QString clause()
    {
        QStringList parts;
        if (chance(0.1))
            parts << number() + u',';
        if (chance(0.15)) {
            parts << QStringLiteral("è") << pick(m_complements);
        } else {
            parts << pick(m_subjects) << pick(m_verbs);
            if (chance(0.6))
                parts << pick(m_complements);
        }
        if (chance(0.7))
            parts << pick(m_places);
        if (chance(0.08))
            parts << number();
        return parts.join(u' ');
    }

    void sentence()
    {
        QString text = clause();
        for (std::int64_t i = 0, more = m_random.index(3); i < more; ++i) {
            const double separator = m_random.next();
            if (separator < 0.6)
                text += QStringLiteral(", ") + pick(m_connectors) + u' ';
            else
                text += separator < 0.8 ? QStringLiteral("; ") : QStringLiteral(" e ");
            text += clause();
        }
        const double end = m_random.next();
        text += end < 0.8 ? u'.' : end < 0.93 ? u'?' : u'!';
        text[0] = text[0].toUpper();
        if (chance(0.07))
            text = u'«' + text + QStringLiteral("» disse ") + pick(m_subjects) + u'.';
        // Lines wrap before 72 columns, like a text typed with hard line breaks.
        for (const QString &word : text.split(u' ')) {
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
    }

    const QStringList m_subjects = entries(kSubjects), m_verbs = entries(kVerbs),
                      m_complements = entries(kComplements), m_places = entries(kPlaces),
                      m_connectors = entries(kConnectors), m_numbers = entries(kNumbers);
    RandomSource m_random;
    qsizetype m_target;
    QString m_text;
    qsizetype m_column = 0;
};

} // namespace

QString ItalianLikeText(qsizetype characters, std::uint64_t seed)
{
    return characters <= 0 ? QString() : ProseWriter(characters, seed).write();
}
