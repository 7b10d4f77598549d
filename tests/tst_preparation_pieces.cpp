// The preparation in pieces: whatever the pieces, the prepared text is the
// one the whole text gives, for every combination of the options.

#include "corpus.h"
#include "option_bits.h"
#include "prepare_source_text.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// Prepared whole: no piece is shorter than the text.
QString preparedWhole(const QString &text, const PreparationOptions &options)
{
    Result<QString> whole = PrepareSourceText(text, options, nullptr, {.pieceLength = 1 << 30});
    return whole.ok() ? whole.value() : QStringLiteral("error: ") + whole.error().detail;
}

// Letters with every run the steps replace, and the characters they keep or
// change one by one, between them: drawn at random, so that runs begin and end
// at every distance from the places where a piece may end.
QString mixedText(int length, quint32 seed)
{
    // Runs split at '|'; then a Deseret capital (a surrogate pair) and the
    // two halves of a pair alone, which may also fall side by side.
    static const QStringList kinds =
        QStringLiteral("ab|Z| |  |\t\v\f|\r\n|\n|\r|\r\n\r\n|42|,;!|ÈÀç|_|İ|Жж|Σς|中文|عر")
            .split(u'|')
        << QStringLiteral("\U00010400") << QString(QChar(0xD800)) << QString(QChar(0xDC00));
    QRandomGenerator random(seed);
    QString text;
    while (text.size() < length)
        text += kinds[random.bounded(int(kinds.size()))];
    return text;
}

} // namespace

class TestPreparationPieces : public QObject {
    Q_OBJECT
private slots:
    void piecesJoinToTheWholeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("runs at every distance from a cut") << mixedText(800, 1);
        QTest::newRow("runs of everything, other draws") << mixedText(1600, 2);
        QTest::newRow("a lone surrogate ends the text before spaces")
            << QStringLiteral("Ab\t") + QChar(0xD800) + QStringLiteral("  1 \t");
        QTest::newRow("prose") << ItalianLikeText(3000, 3, 400);
        QTest::newRow("Cyrillic") << QStringLiteral(
            "Съешь же ещё этих мягких  французских булок,\r\nда выпей чаю!\r\n\r\nЁЖ 12");
        QTest::newRow("Greek") << QStringLiteral(
            "ΞΕΣΚΕΠΑΖΩ την ψυχοφθόρα βδελυγμία;\r\n\r\nΟΔΟΣ  οδός, ΟΔΟΣ.\r\nΆ");
        QTest::newRow("CJK, no spaces") << QStringLiteral(
            "我能吞下玻璃而不伤身体。\r\n天地玄黄，宇宙洪荒！\r\n\r\n日月盈昃，辰宿列张。");
        QTest::newRow("Arabic") << QStringLiteral(
            "أنا قادر على أكل الزجاج، و هذا لا يؤلمني.\r\n\r\nمرحبا  بالعالم؟ ١٢٣");
        QTest::newRow("digits only")
            << QStringLiteral("3141592653  5897932384\r\n6264338327\t9502884197\r\n\r\n1693993751");
    }

    void piecesJoinToTheWholeText()
    {
        QFETCH(QString, text);
        for (unsigned bits = 0; bits < 32; ++bits) {
            const PreparationOptions options = OptionsFromBits(bits);
            const QString whole = preparedWhole(text, options);
            for (const qsizetype pieceLength : {1, 2, 3, 5, 64}) {
                // It tells of all its work, each piece as prepared and as joined.
                Cancellation told;
                told.begin(RunStage::Preparing, PreparationWork(text));
                const Result<QString> pieces =
                    PrepareSourceText(text, options, &told, {.pieceLength = pieceLength});
                QVERIFY2(pieces.ok(), qPrintable(pieces.error().detail));
                if (pieces.value() != whole || told.progress()->done != PreparationWork(text))
                    QFAIL(qPrintable(
                        QStringLiteral("options %1, pieces of %2").arg(bits).arg(pieceLength)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestPreparationPieces)
#include "tst_preparation_pieces.moc"
