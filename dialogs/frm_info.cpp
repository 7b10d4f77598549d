#include "frm_info.h"

#include "gramisola_version.h"
#include "selectable_text_box.h"
#include "twips.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

QPointer<frmInfo> frmInfo::s_current;

namespace {

// Design geometry of the window, in twips from the top-left of the client area.
constexpr int kClientWidth = 8280;
constexpr int kClientHeight = 6600;

constexpr TwipsRect kImage1{240, 120, 480, 480};
constexpr TwipsRect kLabel1{960, 120, 3510, 285};
constexpr TwipsRect kLabel2{960, 480, 3135, 255};
constexpr TwipsRect kTxtInfo{240, 840, 7815, 5175};
constexpr TwipsRect kOK{3120, 6120, 1695, 375};

const QString kAuthor = QStringLiteral("Gli sviluppatori di Gramisola");
const QString kContact = QStringLiteral("info@gramisola.example");

// "Gramisola ver. 1.0": the name and the version the window shows.
QString programAndVersion()
{
    return QStringLiteral("Gramisola ver. ") + QString::fromLatin1(kGramisolaShortVersion);
}

} // namespace

frmInfo *frmInfo::showInfo()
{
    if (!s_current)
        s_current = new frmInfo(nullptr);
    s_current->show();
    s_current->raise();
    s_current->activateWindow();
    return s_current;
}

frmInfo *frmInfo::current()
{
    return s_current;
}

frmInfo::frmInfo(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Informazioni"));
    // Every way of closing it (OK, frame, Escape) destroys the window, so the
    // next opening builds it afresh.
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    Image1->setFocusPolicy(Qt::NoFocus);
    Image1->setGeometry(TwipsToPixels(kImage1));

    Label1 = new QLabel(programAndVersion() + QStringLiteral(" - ") + kAuthor, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(QFont(QStringLiteral("Times New Roman"), 12, QFont::Bold));
    Label1->setGeometry(TwipsToPixels(kLabel1));
    Label1->adjustSize();

    Label2 = new QLabel(QStringLiteral("Email: ") + kContact, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    // The contact line asks for a 9.75-point sans serif; the desktop's own
    // sans serif stands in for the Windows bitmap font of that name.
    QFont contactFont = QApplication::font();
    contactFont.setPointSizeF(9.75);
    contactFont.setBold(false);
    Label2->setFont(contactFont);
    Label2->setGeometry(TwipsToPixels(kLabel2));

    // Scrolls, selects and copies like the output box: a copy gives the
    // text's own characters, each line break as one LF.
    txtInfo = new SelectableTextBox(this);
    txtInfo->setObjectName(QStringLiteral("txtInfo"));
    txtInfo->setAccessibleName(QStringLiteral("Informazioni su Gramisola"));
    txtInfo->replaceText(aboutText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    txtInfo->setGeometry(TwipsToPixels(kTxtInfo));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(TwipsToPixels(kOK));

    setTabOrder(Label2, Label1);
    setTabOrder(Label1, txtInfo);
    setTabOrder(txtInfo, cmdOK);
    // The labels take no focus, so the text box is the first stop.
    txtInfo->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
}

QString frmInfo::aboutText()
{
    const QString rule(42, u'-');
    const QStringList lines{
        programAndVersion() + QStringLiteral(" - ") + kAuthor + QStringLiteral(" - 2004"),
        rule,
        QString(),
        QStringLiteral(
            "Gramisola segue il metodo delle catene di Markov applicate ai caratteri, descritto "
            "da Claude E. Shannon nell'articolo \"A Mathematical Theory of Communication\" "
            "(1948), dove un testo viene imitato con approssimazioni di ordine crescente."),
        QString(),
        QStringLiteral(
            "L'idea è semplice: il programma analizza un testo di partenza e genera parole "
            "casuali le cui lettere mantengono le frequenze trovate nel testo."),
        QString(),
        QStringLiteral(
            "La cosa diventa interessante quando le frequenze si contano su più di una lettera. "
            "Supponiamo che le ultime due lettere scritte siano \"AB\" e che nel testo di "
            "partenza \"AB\" sia seguito una volta da \"B\", due volte da \"E\" e tre volte da "
            "\"R\": la lettera successiva viene allora estratta tra \"B\", \"E\" e \"R\" con le "
            "probabilità 1/6, 2/6 e 3/6."),
        QString(),
        QStringLiteral(
            "Battere a caso sulla tastiera, senza badare ad alcuna frequenza, è un generatore di "
            "ordine zero. Rispettare le frequenze dei singoli caratteri, senza tener conto della "
            "loro sequenza, dà l'ordine 1; basare la frequenza sull'ultimo carattere scritto dà "
            "l'ordine 2. L'esempio appena visto, che si basa sugli ultimi due caratteri, è di "
            "ordine 3: ogni terna di caratteri generata compare nel testo di partenza, e con la "
            "stessa frequenza."),
        QString(),
        QStringLiteral(
            "Le prove mostrano che i testi più interessanti vengono dagli ordini 3, 4 e 5, nei "
            "quali si riconosce qualcosa dello stile del testo di partenza."),
        rule,
        QString(),
        QStringLiteral(
            "Per funzionare Gramisola ha bisogno di alcuni componenti di sistema: la libreria "
            "Qt 6 (modulo Widgets) per le finestre, la libreria PCRE2 per le espressioni "
            "regolari e un desktop Linux (X11 o Wayland). Sono componenti comunemente presenti "
            "su un desktop Linux; se mancano, vengono installati insieme ai pacchetti del "
            "programma."),
        rule,
        QString(),
        QStringLiteral(
            "Per prima cosa si sceglie con \"Carica file...\" il file da elaborare, un file di "
            "testo semplice: la finestra di scelta elenca solo i file con estensione .txt. La "
            "velocità di generazione non dipende dalle dimensioni del file né dall'ordine "
            "scelto, perché Gramisola costruisce un indice del testo una volta sola, quando lo "
            "prepara. Sono accettati file fino a 128 MB: la preparazione di un file di 10 MB "
            "richiede meno di un secondo, quella di un file di 100 MB qualche secondo. L'indice "
            "occupa memoria, tanta più quanto più vario è il testo e alto l'ordine: un file di "
            "128 MB all'ordine 10 può richiedere fino a circa 2,1 GB. Se il sistema non ne ha "
            "abbastanza, Gramisola lo dice prima di cominciare e suggerisce un ordine più basso "
            "o un file più piccolo."),
        QString(),
        QStringLiteral(
            "I pulsanti \"Ordine:\" permettono di provare gli ordini da 1 a 10; i più "
            "interessanti sono 3, 4 e 5 (oltre, il testo prodotto ripete per lo più parole del "
            "testo di partenza)."),
        QString(),
        QStringLiteral(
            "Premendo \"Esegui\" il programma prima rielabora il testo (numeri, ritorni a capo, "
            "punteggiatura, maiuscole e spazi) come impostato nella finestra che si apre con "
            "\"Opzioni...\", poi comincia a generare da un punto a caso e prosegue secondo le "
            "regole descritte sopra con l'ordine scelto, finché non si preme di nuovo lo stesso "
            "pulsante, che nel frattempo è diventato \"Interrompi\", oppure finché l'area di "
            "testo non raggiunge la sua lunghezza massima (circa 64 KB)."),
        QString(),
        QStringLiteral(
            "Dopo un'interruzione si può continuare con \"Continua\", anche dopo aver cambiato "
            "qualche opzione o l'ordine, si può cancellare la finestra con \"Cancella "
            "finestra\", oppure caricare un altro file: in questo caso la finestra viene "
            "cancellata non appena comincia l'elaborazione del nuovo file."),
        QString(),
        QStringLiteral(
            "Non c'è un comando per salvare il testo prodotto: l'area di testo è di sola "
            "lettura, ma vi si può selezionare il testo e copiarlo in un qualsiasi documento con "
            "Copia e Incolla."),
        rule,
        QString(),
        kAuthor + QStringLiteral(" - dicembre 2004"),
        rule,
    };
    return lines.join(QStringLiteral("\r\n"));
}
