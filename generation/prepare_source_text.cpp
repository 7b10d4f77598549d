#include "prepare_source_text.h"

#include "regexp.h"

namespace {

const QString kSpace = QStringLiteral(" ");
const QString kCarriageReturn = QStringLiteral("\r");

// A run of CR LF pairs, (\r\n)+. Written without a group and without giving
// anything back (possessive), which matches exactly the same runs, since
// nothing follows the repeat and the replacement names no group: that way
// the pattern component needs no stack in proportion to the run, which for
// a file of nothing but line breaks would take gigabytes.
const QString kCrLfRun = QStringLiteral("(?:\\r\\n)++");

// Every character that is neither an ASCII word character, one of the
// twelve accented letters of Italian, nor white space.
const QString kPunctuation = QStringLiteral("[^A-Za-z0-9_ÀÈÉÌÒÙàèéìòù\\s]");

// Removes spaces (the space character only) at both ends; line breaks and
// the spaces next to them stay.
QString trimSpaces(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

// One whole-text replacement step; keeps the first error. A cancelled
// preparation stops before its next step and lets its text go.
class Steps {
public:
    Steps(QString text, RegExp &pattern, const Cancellation *cancel)
        : m_text(std::move(text)), m_pattern(pattern), m_cancel(cancel)
    {
    }

    void replace(const QString &pattern, const QString &replacement)
    {
        if (stopped())
            return;
        m_pattern.setPattern(pattern);
        Result<QString> replaced = m_pattern.Replace(m_text, replacement);
        if (!replaced) {
            m_error = replaced.error();
            return;
        }
        m_text = std::move(replaced).value();
    }

    void apply(QString (*step)(const QString &))
    {
        if (!stopped())
            m_text = step(m_text);
    }

    Result<QString> result() &&
    {
        if (stopped())
            return *m_error;
        return std::move(m_text);
    }

private:
    bool stopped()
    {
        if (!m_error && IsCancelled(m_cancel)) {
            m_error = CancelledError();
            m_text = QString();
        }
        return bool(m_error);
    }

    QString m_text;
    RegExp &m_pattern;
    const Cancellation *m_cancel;
    std::optional<Error> m_error;
};

QString toLowerCase(const QString &text)
{
    return text.toLower();
}

} // namespace

Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  RegExp &pattern, const Cancellation *cancel)
{
    Steps steps(content, pattern, cancel);

    if (options.ignorePunctuation)
        steps.replace(kPunctuation, kSpace);
    if (options.ignoreDigits)
        steps.replace(QStringLiteral("\\d+"), kSpace);

    if (options.ignoreLineBreaks) {
        // Only CR LF pairs become spaces; a lone CR or LF stays in the text.
        steps.replace(kCrLfRun, kSpace);
    } else {
        // A run of CR LF pairs or of LFs becomes one CR; unless multiple
        // spaces are kept, so does a run of CRs, and blank lines vanish.
        steps.replace(kCrLfRun, kCarriageReturn);
        steps.replace(QStringLiteral("\\n+"), kCarriageReturn);
        if (!options.keepMultipleSpaces)
            steps.replace(QStringLiteral("\\r{2,}"), kCarriageReturn); // one CR stays one CR
    }

    if (!options.keepMultipleSpaces) {
        // Runs of [ \f\t\v] become one space. A lone space would become a
        // space again, so it is left alone: on prose that skips one match
        // per word, the bulk of the step's work.
        steps.replace(QStringLiteral("[ \\f\\t\\v]{2,}|[\\f\\t\\v]"), kSpace);
        steps.apply(trimSpaces);
    }

    // Last, so that the accented capitals kept above are lowered too.
    if (options.lowerCase)
        steps.apply(toLowerCase);
    return std::move(steps).result();
}

Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options)
{
    RegExp pattern;
    pattern.setGlobal(true);
    pattern.setMultiline(true);
    return PrepareSourceText(content, options, pattern);
}
