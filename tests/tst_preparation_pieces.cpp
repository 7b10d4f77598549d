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
    static const QString kinds[] = {
        QStringLiteral("ab"),       QStringLiteral("Z"),
        QStringLiteral(" "),        QStringLiteral("  "),
        QStringLiteral("\t\v\f"),   QStringLiteral("\r\n"),
        QStringLiteral("\n"),       QStringLiteral("\r"),
        QStringLiteral("\r\n\r\n"), QStringLiteral("42"),
        QStringLiteral(",;!"),      QStringLiteral("ÈÀç"),
        QStringLiteral("_"),        QString(QChar(0xD801)) + QChar(0xDC00), // Deseret capital
        QStringLiteral("İ")};
    QRandomGenerator random(seed);
    QString text;
    while (text.size() < length)
        text += kinds[random.bounded(int(std::size(kinds)))];
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
        QTest::newRow("spaces at both ends of the text") << QStringLiteral("  ab  cd \r\n ef  ");
        QTest::newRow("letters only: every place is a cut") << QStringLiteral("abcdefgh");
        QTest::newRow("no two letters together: one piece") << QStringLiteral("a1b,c d\re");
        QTest::newRow("prose") << ItalianLikeText(3000, 3, 400);
    }

    void piecesJoinToTheWholeText()
    {
        QFETCH(QString, text);
        for (unsigned bits = 0; bits < 32; ++bits) {
            const PreparationOptions options = OptionsFromBits(bits);
            const QString whole = preparedWhole(text, options);
            for (const qsizetype pieceLength : {1, 2, 3, 5, 64}) {
                const Result<QString> pieces =
                    PrepareSourceText(text, options, nullptr, {.pieceLength = pieceLength});
                QVERIFY2(pieces.ok(), qPrintable(pieces.error().detail));
                if (pieces.value() != whole)
                    QFAIL(qPrintable(
                        QStringLiteral("options %1, pieces of %2").arg(bits).arg(pieceLength)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestPreparationPieces)
#include "tst_preparation_pieces.moc"
