#include "frm_opzioni.h"

#include "twips.h"

#include <QCheckBox>
#include <QPushButton>

#include <algorithm>

namespace {

// Design geometry of the dialog, in twips from the top-left of the client area.
constexpr int kClientWidth = 3495;
constexpr int kClientHeight = 2535;

constexpr TwipsRect kNumeri{360, 120, 2775, 375};
constexpr TwipsRect kACapo{360, 480, 2775, 375};
constexpr TwipsRect kPunteggiatura{360, 840, 2775, 375};
constexpr TwipsRect kMinuscolo{360, 1200, 2775, 375};
constexpr TwipsRect kNessuna{360, 1560, 2775, 375};
constexpr TwipsRect kOK{840, 2040, 1695, 375};

QCheckBox *makeCheckBox(QWidget *parent, const char *name, const QString &caption,
                        const TwipsRect &r)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(TwipsToPixels(r));
    return box;
}

} // namespace

frmOpzioni::frmOpzioni(QWidget *owner)
    // A fixed dialog frame with a title and a close button only: no minimize,
    // maximize or context-help box.
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmOpzioni"));
    setWindowTitle(QStringLiteral("Opzioni"));

    chkNumeri = makeCheckBox(this, "chkNumeri", QStringLiteral("Ignora i numeri"), kNumeri);
    chkACapo = makeCheckBox(this, "chkACapo", QStringLiteral("Ignora i ritorni a capo"), kACapo);
    chkPunteggiatura = makeCheckBox(this, "chkPunteggiatura",
                                    QStringLiteral("Ignora la punteggiatura"), kPunteggiatura);
    chkMinuscolo =
        makeCheckBox(this, "chkMinuscolo", QStringLiteral("Imposta tutto minuscolo"), kMinuscolo);
    chkNessuna = makeCheckBox(this, "chkNessuna",
                              QStringLiteral("Non eliminare gli spazi multipli"), kNessuna);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(TwipsToPixels(kOK));

    fitCaptions();

    setTabOrder(chkNumeri, chkACapo);
    setTabOrder(chkACapo, chkPunteggiatura);
    setTabOrder(chkPunteggiatura, chkMinuscolo);
    setTabOrder(chkMinuscolo, chkNessuna);
    setTabOrder(chkNessuna, cmdOK);
    chkNumeri->setFocus();

    // accept() only hides a dialog that lacks WA_DeleteOnClose, so the boxes
    // survive until the next exec().
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

void frmOpzioni::fitCaptions()
{
    // The design widths suit a narrow Windows font; a wider desktop font (DejaVu
    // Sans, Debian's default) cuts "Non eliminare gli spazi multipli". Widen the
    // boxes and the window by what the widest caption lacks, so no caption is
    // cut and the right margin stays as designed; OK moves by half of it to stay
    // centred under the boxes. With a narrow enough font nothing moves.
    const QList<QCheckBox *> boxes{chkNumeri, chkACapo, chkPunteggiatura, chkMinuscolo, chkNessuna};
    int extra = 0;
    for (QCheckBox *box : boxes)
        extra = std::max(extra, box->sizeHint().width() - box->width());
    for (QCheckBox *box : boxes)
        box->resize(box->width() + extra, box->height());
    cmdOK->move(cmdOK->x() + extra / 2, cmdOK->y());
    setFixedSize(TwipsToPixels(kClientWidth) + extra, TwipsToPixels(kClientHeight));
}

PreparationOptions frmOpzioni::options() const
{
    PreparationOptions options;
    options.ignoreDigits = chkNumeri->isChecked();
    options.ignoreLineBreaks = chkACapo->isChecked();
    options.ignorePunctuation = chkPunteggiatura->isChecked();
    options.lowerCase = chkMinuscolo->isChecked();
    options.keepMultipleSpaces = chkNessuna->isChecked();
    return options;
}

void frmOpzioni::reject()
{
    // Leaving the dialog any other way must not lose what the user ticked;
    // treating it as "OK" keeps the boxes and gives the caller one outcome.
    accept();
}
