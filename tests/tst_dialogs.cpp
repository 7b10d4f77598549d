// The options dialog and the about window: texts, geometry, closing, the about text.
#include "frm_info.h"
#include "frm_opzioni.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(PreparationOptions)

// The ways a user can close a window: its button, the frame, the keyboard.
enum class CloseBy { OkButton, Frame, Escape };
Q_DECLARE_METATYPE(CloseBy)

namespace {

QRect fromTwips(const QRect &r)
{
    return {TwipsToPixels(r.x()), TwipsToPixels(r.y()), TwipsToPixels(r.width()),
            TwipsToPixels(r.height())};
}

// Object names of the widgets that Tab visits, in order, starting after `window`.
QStringList tabStops(QWidget *window)
{
    QStringList names;
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            names << w->objectName();
    return names;
}

// A fixed dialog frame with a close box only.
bool hasFixedDialogFrame(QDialog *dialog)
{
    const Qt::WindowFlags flags = dialog->windowFlags();
    return dialog->minimumSize() == dialog->maximumSize() &&
           (flags & Qt::WindowType_Mask) == Qt::Dialog && (flags & Qt::WindowCloseButtonHint) &&
           !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                      Qt::WindowContextHelpButtonHint));
}

PreparationOptions only(bool PreparationOptions::*field)
{
    PreparationOptions options;
    options.*field = true;
    return options;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QPixmap icon(32, 32);
        icon.fill(Qt::darkGreen);
        QApplication::setWindowIcon(QIcon(icon));
    }

    void cleanup() { delete frmInfo::current(); }

    void optionsStartState()
    {
        QWidget owner;
        frmOpzioni dialog(&owner);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Opzioni"));
        QCOMPARE(dialog.parentWidget(), &owner);
        QVERIFY(dialog.isWindow() && dialog.isHidden());
        QVERIFY(hasFixedDialogFrame(&dialog));
        QVERIFY(dialog.options() == PreparationOptions{});
        QCOMPARE(tabStops(&dialog), QStringList({"chkNumeri", "chkACapo", "chkPunteggiatura",
                                                 "chkMinuscolo", "chkNessuna", "cmdOK"}));
    }

    void optionsControls_data()
    {
        // Row names are object names; geometry in twips.
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<PreparationOptions>("alone"); // options() with only this box checked
        using P = PreparationOptions;
        QTest::newRow("chkNumeri")
            << "Ignora i numeri" << QRect(360, 120, 2775, 375) << only(&P::ignoreDigits);
        QTest::newRow("chkACapo") << "Ignora i ritorni a capo" << QRect(360, 480, 2775, 375)
                                  << only(&P::ignoreLineBreaks);
        QTest::newRow("chkPunteggiatura") << "Ignora la punteggiatura" << QRect(360, 840, 2775, 375)
                                          << only(&P::ignorePunctuation);
        QTest::newRow("chkMinuscolo")
            << "Imposta tutto minuscolo" << QRect(360, 1200, 2775, 375) << only(&P::lowerCase);
        QTest::newRow("chkNessuna") << "Non eliminare gli spazi multipli"
                                    << QRect(360, 1560, 2775, 375) << only(&P::keepMultipleSpaces);
        QTest::newRow("cmdOK") << "OK" << QRect(840, 2040, 1695, 375) << P{};
    }

    void optionsControls()
    {
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QFETCH(QRect, twips);
        const QRect geometry = fromTwips(twips);
        // With a font narrow enough for every caption the design geometry holds exactly.
        const QFont appFont = QApplication::font();
        QFont narrow = appFont;
        narrow.setPixelSize(8);
        QApplication::setFont(narrow);
        {
            frmOpzioni dialog;
            QApplication::setFont(appFont);
            QCOMPARE(dialog.size(), fromTwips(QRect(0, 0, 3495, 2535)).size());
            auto *button = dialog.findChild<QAbstractButton *>(name);
            QTEST(button->text(), "caption");
            QCOMPARE(button->geometry(), geometry);
        }
        // With the desktop's font no caption is cut: boxes and window widen
        // instead, keeping position, height and the right margin.
        frmOpzioni dialog;
        auto *button = dialog.findChild<QAbstractButton *>(name);
        QVERIFY(button->sizeHint().width() <= button->width());
        QCOMPARE(button->y(), geometry.y());
        QCOMPARE(button->height(), geometry.height());
        QVERIFY(button->width() >= geometry.width());
        QCOMPARE(dialog.height(), TwipsToPixels(2535));
        if (auto *box = qobject_cast<QCheckBox *>(button)) {
            QCOMPARE(box->x(), geometry.x());
            QCOMPARE(dialog.width() - box->geometry().right() - 1, TwipsToPixels(360));
            box->setChecked(true);
            QTEST(dialog.options(), "alone");
        } else {
            QVERIFY(dialog.rect().contains(button->geometry()));
        }
    }

    void infoIsOneModelessWindow()
    {
        QWidget mainWindow;
        mainWindow.show();
        QPointer<frmInfo> info = frmInfo::showInfo();
        QVERIFY(info && info->isVisible());
        QCOMPARE(info->parentWidget(), nullptr);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(frmInfo::showInfo(), info.data());
        int infoWindows = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            infoWindows += qobject_cast<frmInfo *>(w) != nullptr;
        QCOMPARE(infoWindows, 1);

        QCOMPARE(info->windowTitle(), QStringLiteral("Informazioni"));
        QVERIFY(hasFixedDialogFrame(info));
        QCOMPARE(info->size(), fromTwips(QRect(0, 0, 8280, 6600)).size());
        QCOMPARE(info->Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(info->cmdOK->text(), QStringLiteral("OK"));
        QCOMPARE(info->Label1->text(),
                 QStringLiteral("Gramisola ver. 1.0 - Gli sviluppatori di Gramisola"));
        QVERIFY(QRegularExpression(QStringLiteral("^Email: [\\w.-]+@[\\w-]+(\\.[\\w-]+)+$"))
                    .match(info->Label2->text())
                    .hasMatch());
        for (QLabel *label : {info->Label1, info->Label2}) { // no text is cut
            const QRect needed = label->fontMetrics().boundingRect(label->text());
            QVERIFY2(needed.width() <= label->contentsRect().width() &&
                         label->fontMetrics().height() <= label->contentsRect().height(),
                     qPrintable(label->objectName()));
        }
        QCOMPARE(tabStops(info), QStringList({"txtInfo", "cmdOK"}));
        QVERIFY(QTest::qWaitForWindowActive(info));
        QCOMPARE(QApplication::focusWidget(), info->txtInfo);
    }

    void closing_data()
    {
        QTest::addColumn<bool>("info");
        QTest::addColumn<CloseBy>("how");
        for (bool info : {false, true}) {
            const char *window = info ? "Informazioni" : "Opzioni";
            QTest::addRow("%s, OK button", window) << info << CloseBy::OkButton;
            QTest::addRow("%s, window frame", window) << info << CloseBy::Frame;
            QTest::addRow("%s, Escape key", window) << info << CloseBy::Escape;
        }
    }

    // Opzioni hides and keeps the boxes as ticked; Informazioni is destroyed,
    // so the next opening builds it afresh.
    void closing()
    {
        QFETCH(bool, info);
        QFETCH(CloseBy, how);
        QWidget owner;
        owner.show();
        QPointer<QDialog> dialog =
            info ? static_cast<QDialog *>(frmInfo::showInfo()) : new frmOpzioni(&owner);
        const auto close = [&] {
            if (how == CloseBy::OkButton)
                QTest::mouseClick(dialog->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
            else if (how == CloseBy::Frame)
                dialog->close(); // what the window manager's close command delivers
            else
                QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
        };
        if (info) {
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            frmInfo::current()->txtInfo->moveCursor(QTextCursor::End);
            close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!dialog);
            QCOMPARE(frmInfo::current(), nullptr);
            QCOMPARE(frmInfo::showInfo()->txtInfo->textCursor().position(), 0);
            return;
        }
        auto *options = static_cast<frmOpzioni *>(dialog.data());
        QTimer::singleShot(5000, dialog, [&] { dialog->done(-1); }); // no hang on a failure
        bool wasModal = false;
        QTimer::singleShot(0, dialog, [&] {
            wasModal = QApplication::activeModalWidget() == dialog;
            QTest::mouseClick(options->chkACapo, Qt::LeftButton);
            QTest::mouseClick(options->chkMinuscolo, Qt::LeftButton);
            close();
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QVERIFY(wasModal);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(dialog, "closing must hide the dialog, not destroy it");
        QVERIFY(dialog->isHidden());
        PreparationOptions expected;
        expected.ignoreLineBreaks = expected.lowerCase = true;
        PreparationOptions onReopen;
        QTimer::singleShot(0, dialog, [&] {
            onReopen = options->options();
            options->cmdOK->click();
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QVERIFY(onReopen == expected);
    }

    void infoTextIsReadOnlyButCopyable()
    {
        QPlainTextEdit *text = frmInfo::showInfo()->txtInfo;
        const QString shown = text->toPlainText();
        // Each CR LF line of the about text is one line of the box, with no stray CR.
        QCOMPARE(shown, frmInfo::aboutText().split(QStringLiteral("\r\n")).join(u'\n'));
        QTest::keyClicks(text, QStringLiteral("xyz"));
        QTest::keyClick(text, Qt::Key_Delete);
        QCOMPARE(text->toPlainText(), shown);
        QApplication::clipboard()->clear();
        QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), shown);
    }

    void aboutText_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("present");
        QTest::newRow("heading and closing by the same author, ending on a rule")
            << "^Gramisola ver\\. 1\\.0 - ([^\r\n]+) - 2004\r\n-{42}\r\n\r\n"
               ".*\r\n\r\n\\1 - dicembre 2004\r\n-{42}$"
            << true;
        QTest::newRow("no lone CR or LF") << "\r(?!\n)|(?<!\r)\n" << false;
        QTest::newRow("a rule is 42 dashes, then a blank line or the end")
            << "(^|\n)-(?!-{41}(\r\n\r\n|$))" << false;
        QTest::newRow("worked example: AB then B, E, R")
            << R"("AB".*"B".*"E".*"R".*1/6, 2/6 e 3/6)" << true;
        QTest::newRow("orders 3, 4 and 5 are the interesting ones") << "3, 4 e 5" << true;
        QTest::newRow("main window captions, in the order of use")
            << R"("Carica file\.\.\.".*"Ordine:".*"Esegui".*"Opzioni\.\.\.".*"Interrompi".*)"
               R"("Continua".*"Cancella finestra")"
            << true;
        QTest::newRow("no claim that the program slows down") << R"(rallent|\blent)" << false;
    }

    void aboutText()
    {
        QFETCH(QString, pattern);
        const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
        QVERIFY(re.isValid());
        QTEST(re.match(frmInfo::aboutText()).hasMatch(), "present");
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
