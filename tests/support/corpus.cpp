#include "corpus.h"

#include "random_source.h"

#include <QStringList>

namespace {

// The project's own word stock, '|' between entries. Noun phrases carry
// their article and prepositions come already joined to it, so that sentences
// read like Italian without a grammar; accented letters and apostrophes occur
// as they would.
const char16_t kSubjects[] =
    u"la città|il fiume|l'estate|la piazza|il ponte|la nonna|il vecchio pescatore|una ragazza|"
    u"il cane del fornaio|l'inverno|la strada|il campanile|le rondini|gli alberi|"
    u"la gente del paese|un viandante|il mercato|la luce del mattino|il vento|l'autunno|la bottega|"
    u"il maestro|i bambini|la pioggia|il treno delle sette|la casa gialla|un gatto|l'università|"
    u"la primavera|il caffè|la virtù|il lunedì|lo zio Niccolò|la neve|il mare|un'amica|"
    u"l'orologio della torre|la sera|il giardino|le colline";
const char16_t kVerbs[] =
    u"cammina|guarda|è|sembra|porta|racconta|arriva|resta|passò|ricordò|aprì|cominciò|tornerà|"
    u"si ferma|aspetta|scende|sale|canta|dorme|cambiò|partì|ritrova|scrive|attraversa|perde|cerca|"
    u"sarà|era|finì|corre";
const char16_t kComplements[] =
    u"antico|più lento|tranquilla|così calmo|felice|stanco|già lontano|un po' triste|"
    u"verde e grigio|pieno di voci|senza fretta|da solo|come ogni anno|più chiaro del solito|"
    u"a lungo|in silenzio|ancora|di nuovo|piano piano|là in fondo|giù per la discesa";
const char16_t kPlaces[] =
    u"nella piazza|sul ponte|dell'estate|al mercato|dalla collina|con gli amici|per la città|"
    u"tra gli alberi|verso il porto|lungo il fiume|sotto i portici|davanti alla chiesa|"
    u"dietro la stazione|fino al lago|nell'orto|sulla finestra|oltre le mura|all'osteria|"
    u"dopo la scuola|accanto al forno|in cima alla salita|fra le case";
const char16_t kConnectors[] = u"poi|però|quando|mentre|perché|così|allora|forse|intanto|eppure|"
                               u"finché|ma|e|anche se|più tardi";
const char16_t kNumbers[] =
    u"nel %1|alle %1|dopo %1 giorni|per %1 chilometri|il %1 aprile|con %1 euro|verso le %1,30|"
    u"da %1 anni";

QStringList entries(const char16_t *list)
{
    return QString::fromUtf16(list).split(u'|');
}

// Sentences from the word stock, drawn in a fixed order from one random
// source: the same seed gives the same text.
struct ProseWriter {
    RandomSource random;
    const QStringList subjects = entries(kSubjects), verbs = entries(kVerbs),
                      complements = entries(kComplements), places = entries(kPlaces),
                      connectors = entries(kConnectors), numbers = entries(kNumbers);

    QString pick(const QStringList &words)
    {
        return words[qsizetype(random.index(std::int64_t(words.size())))];
    }

    bool chance(double probability) { return random.next() < probability; }

    // Years for "nel", small counts elsewhere: digits of varied lengths.
    QString number()
    {
        const QString form = pick(numbers);
        return form.arg(form.startsWith(u"nel") ? 1850 + random.index(175) : 1 + random.index(24));
    }

    QString clause()
    {
        QStringList parts;
        if (chance(0.1))
            parts << number() + u',';
        if (chance(0.15)) {
            parts << QStringLiteral("è") << pick(complements);
        } else {
            parts << pick(subjects) << pick(verbs);
            if (chance(0.6))
                parts << pick(complements);
        }
        if (chance(0.7))
            parts << pick(places);
        if (chance(0.08))
            parts << number();
        return parts.join(u' ');
    }

    QString sentence()
    {
        QString text = clause();
        for (std::int64_t i = 0, more = random.index(3); i < more; ++i) {
            const double separator = random.next();
            if (separator < 0.6)
                text += QStringLiteral(", ") + pick(connectors) + u' ';
            else
                text += separator < 0.8 ? QStringLiteral("; ") : QStringLiteral(" e ");
            text += clause();
        }
        const double end = random.next();
        text += end < 0.8 ? u'.' : end < 0.93 ? u'?' : u'!';
        text[0] = text[0].toUpper();
        if (chance(0.07))
            text = u'«' + text + QStringLiteral("» disse ") + pick(subjects) + u'.';
        return text;
    }
};

} // namespace

QString ItalianLikeText(qsizetype characters, std::uint64_t seed)
{
    if (characters <= 0)
        return QString();
    ProseWriter writer{RandomSource(seed)};
    QString text;
    text.reserve(characters + 200);
    while (text.size() < characters) {
        if (!text.isEmpty())
            text += QStringLiteral("\r\n\r\n");
        qsizetype column = 0;
        const std::int64_t sentences = 3 + writer.random.index(5);
        for (std::int64_t i = 0; i < sentences && text.size() < characters; ++i) {
            // Lines wrap before 72 columns, like a text typed with hard line breaks.
            for (const QString &word : writer.sentence().split(u' ')) {
                if (column > 0 && column + 1 + word.size() > 72) {
                    text += QStringLiteral("\r\n");
                    column = 0;
                } else if (column > 0) {
                    text += u' ';
                    ++column;
                }
                text += word;
                column += word.size();
            }
        }
    }
    text.truncate(characters);
    // A cut between CR and LF would leave a half line break behind.
    if (text.endsWith(u'\r'))
        text.back() = u' ';
    return text;
}
