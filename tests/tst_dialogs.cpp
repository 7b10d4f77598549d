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
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(PreparationOptions)

// The ways a user can close a window: its button, the frame, the keyboard.
enum class CloseBy { OkButton, Frame, Escape };
Q_DECLARE_METATYPE(CloseBy)

namespace {

QRect fromTwips(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
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

void checkFixedDialogFrame(QDialog *dialog)
{
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    const Qt::WindowFlags flags = dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));
}

// Runs dialog->exec(), doing `whileOpen` once the dialog is up. A dialog still
// open after five seconds is ended with -1, so a failure cannot hang the test.
int execWith(QDialog *dialog, const std::function<void()> &whileOpen)
{
    QTimer::singleShot(0, dialog, whileOpen);
    QTimer::singleShot(5000, dialog, [dialog] { dialog->done(-1); });
    return dialog->exec();
}

void closeDialog(QDialog *dialog, QPushButton *ok, CloseBy how)
{
    switch (how) {
    case CloseBy::OkButton:
        QTest::mouseClick(ok, Qt::LeftButton);
        break;
    case CloseBy::Frame:
        dialog->close(); // what the window manager's close command delivers
        break;
    case CloseBy::Escape:
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
        break;
    }
}

void addCloseRows()
{
    QTest::addColumn<CloseBy>("how");
    QTest::newRow("OK button") << CloseBy::OkButton;
    QTest::newRow("close from the window frame") << CloseBy::Frame;
    QTest::newRow("Escape key") << CloseBy::Escape;
}

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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

    void optionsDialogStartsUncheckedAsFixedDialog()
    {
        QWidget owner;
        frmOpzioni dialog(&owner);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Opzioni"));
        QCOMPARE(dialog.parentWidget(), &owner);
        QVERIFY(dialog.isWindow() && dialog.isHidden());
        checkFixedDialogFrame(&dialog);
        QCOMPARE(dialog.height(), TwipsToPixels(2535));
        QVERIFY(dialog.width() >= TwipsToPixels(3495));
        QVERIFY(dialog.options() == PreparationOptions{});
        QCOMPARE(tabStops(&dialog), QStringList({"chkNumeri", "chkACapo", "chkPunteggiatura",
                                                 "chkMinuscolo", "chkNessuna", "cmdOK"}));
    }

    void optionsControls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("chkNumeri") << "chkNumeri"
                                   << "Ignora i numeri" << fromTwips(360, 120, 2775, 375);
        QTest::newRow("chkACapo") << "chkACapo"
                                  << "Ignora i ritorni a capo" << fromTwips(360, 480, 2775, 375);
        QTest::newRow("chkPunteggiatura")
            << "chkPunteggiatura"
            << "Ignora la punteggiatura" << fromTwips(360, 840, 2775, 375);
        QTest::newRow("chkMinuscolo")
            << "chkMinuscolo"
            << "Imposta tutto minuscolo" << fromTwips(360, 1200, 2775, 375);
        QTest::newRow("chkNessuna")
            << "chkNessuna"
            << "Non eliminare gli spazi multipli" << fromTwips(360, 1560, 2775, 375);
        QTest::newRow("cmdOK") << "cmdOK"
                               << "OK" << fromTwips(840, 2040, 1695, 375);
    }

    void optionsControls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);

        // With a font narrow enough for every caption the design geometry holds exactly.
        const QFont appFont = QApplication::font();
        QFont narrow = appFont;
        narrow.setPixelSize(8);
        QApplication::setFont(narrow);
        {
            frmOpzioni dialog;
            QApplication::setFont(appFont);
            QCOMPARE(dialog.size(), fromTwips(0, 0, 3495, 2535).size());
            auto *button = dialog.findChild<QAbstractButton *>(name);
            QVERIFY(button);
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->geometry(), geometry);
        }

        // With the desktop's font no caption is cut: boxes and window widen instead,
        // keeping position, height and the right margin.
        frmOpzioni dialog;
        auto *button = dialog.findChild<QAbstractButton *>(name);
        QVERIFY(button->sizeHint().width() <= button->width());
        QCOMPARE(button->y(), geometry.y());
        QCOMPARE(button->height(), geometry.height());
        QVERIFY(button->width() >= geometry.width());
        if (qobject_cast<QCheckBox *>(button)) {
            QCOMPARE(button->x(), geometry.x());
            QCOMPARE(dialog.width() - button->geometry().right() - 1, TwipsToPixels(360));
        } else {
            QVERIFY(dialog.rect().contains(button->geometry()));
        }
    }

    void optionsKeepChoicesWhenClosed_data() { addCloseRows(); }

    void optionsKeepChoicesWhenClosed()
    {
        QFETCH(CloseBy, how);
        QWidget owner;
        owner.show();
        QPointer<frmOpzioni> dialog = new frmOpzioni(&owner);

        bool wasModal = false;
        const int first = execWith(dialog, [&] {
            wasModal = QApplication::activeModalWidget() == dialog;
            QTest::mouseClick(dialog->chkACapo, Qt::LeftButton);
            QTest::mouseClick(dialog->chkMinuscolo, Qt::LeftButton);
            closeDialog(dialog, dialog->cmdOK, how);
        });
        QVERIFY(wasModal);
        QCOMPARE(first, int(QDialog::Accepted));
        processDeferredDeletes();
        QVERIFY2(dialog, "closing must hide the dialog, not destroy it");
        QVERIFY(dialog->isHidden());

        PreparationOptions expected;
        expected.ignoreLineBreaks = true;
        expected.lowerCase = true;
        PreparationOptions onReopen;
        const int second = execWith(dialog, [&] {
            onReopen = dialog->options();
            QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
        });
        QCOMPARE(second, int(QDialog::Accepted));
        QVERIFY(onReopen == expected);
    }

    void optionsMapEachBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<PreparationOptions>("expected");
        QTest::newRow("chkNumeri ignores digits")
            << "chkNumeri" << only(&PreparationOptions::ignoreDigits);
        QTest::newRow("chkACapo ignores line breaks")
            << "chkACapo" << only(&PreparationOptions::ignoreLineBreaks);
        QTest::newRow("chkPunteggiatura ignores punctuation")
            << "chkPunteggiatura" << only(&PreparationOptions::ignorePunctuation);
        QTest::newRow("chkMinuscolo lowers case")
            << "chkMinuscolo" << only(&PreparationOptions::lowerCase);
        QTest::newRow("chkNessuna keeps multiple spaces")
            << "chkNessuna" << only(&PreparationOptions::keepMultipleSpaces);
    }

    void optionsMapEachBox()
    {
        QFETCH(QString, box);
        QFETCH(PreparationOptions, expected);
        frmOpzioni dialog;
        dialog.findChild<QCheckBox *>(box)->setChecked(true);
        QVERIFY(dialog.options() == expected);
    }

    void infoIsOneModelessWindowWithFocusInText()
    {
        QWidget mainWindow;
        mainWindow.show();
        QPointer<frmInfo> info = frmInfo::showInfo();
        QVERIFY(info && info->isVisible());
        QCOMPARE(info->parentWidget(), nullptr);
        QVERIFY(!info->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        QCOMPARE(frmInfo::showInfo(), info.data());
        int infoWindows = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            infoWindows += qobject_cast<frmInfo *>(w) != nullptr;
        QCOMPARE(infoWindows, 1);

        QCOMPARE(info->windowTitle(), QStringLiteral("Informazioni"));
        checkFixedDialogFrame(info);
        QCOMPARE(info->size(), fromTwips(0, 0, 8280, 6600).size());
        QCOMPARE(info->Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(tabStops(info), QStringList({"txtInfo", "cmdOK"}));
        QVERIFY(QTest::qWaitForWindowActive(info));
        QCOMPARE(QApplication::focusWidget(), info->txtInfo);
    }

    void infoIsDestroyedWhenClosed_data() { addCloseRows(); }

    void infoIsDestroyedWhenClosed()
    {
        QFETCH(CloseBy, how);
        QPointer<frmInfo> info = frmInfo::showInfo();
        QVERIFY(QTest::qWaitForWindowActive(info));
        info->txtInfo->moveCursor(QTextCursor::End);
        closeDialog(info, info->cmdOK, how);
        processDeferredDeletes();
        QVERIFY(!info);
        QCOMPARE(frmInfo::current(), nullptr);

        // The next opening builds a fresh window in its design state.
        QPointer<frmInfo> again = frmInfo::showInfo();
        QVERIFY(again && again->isVisible());
        QCOMPARE(frmInfo::current(), again.data());
        QCOMPARE(again->txtInfo->textCursor().position(), 0);
    }

    void infoTextIsReadOnlyButCopyable()
    {
        QPlainTextEdit *text = frmInfo::showInfo()->txtInfo;
        const QString shown = text->toPlainText();

        // Each CR LF line of the about text is one line of the box, with no stray CR.
        const QStringList lines = frmInfo::aboutText().split(QStringLiteral("\r\n"));
        QCOMPARE(text->blockCount(), lines.size());
        QCOMPARE(shown, lines.join(u'\n'));

        QTest::keyClicks(text, QStringLiteral("xyz"));
        QTest::keyClick(text, Qt::Key_Delete);
        QCOMPARE(text->toPlainText(), shown);

        QApplication::clipboard()->clear();
        QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), shown);

        QVERIFY(!text->horizontalScrollBar()->isVisible());
        QVERIFY(text->verticalScrollBar()->isVisible());
    }

    void labelsShowTheirWholeText()
    {
        frmInfo *info = frmInfo::showInfo();
        QCOMPARE(info->Label1->text(), QStringLiteral("Gramisola ver. 1.0"));
        QVERIFY(QRegularExpression(QStringLiteral("^Email: [\\w.-]+@[\\w-]+(\\.[\\w-]+)+$"))
                    .match(info->Label2->text())
                    .hasMatch());
        for (QLabel *label : {info->Label1, info->Label2}) {
            const QRect needed = label->fontMetrics().boundingRect(label->text());
            QVERIFY2(needed.width() <= label->contentsRect().width() &&
                         label->fontMetrics().height() <= label->contentsRect().height(),
                     qPrintable(label->objectName()));
        }
    }

    void aboutTextSections()
    {
        const QString text = frmInfo::aboutText();
        // CR LF is the only line break: no lone CR, no lone LF.
        QCOMPARE(text.count(u'\r'), text.count(QStringLiteral("\r\n")));
        QCOMPARE(text.count(u'\n'), text.count(QStringLiteral("\r\n")));

        const QStringList lines = text.split(QStringLiteral("\r\n"));
        const QString rule(42, u'-');
        QList<QStringList> sections(1); // the paragraphs of each section
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith(u'-')) {
                QCOMPARE(lines[i], rule);
                if (i + 1 < lines.size()) {
                    QCOMPARE(lines[++i], QString()); // a blank follows every rule but the last
                    sections.append(QStringList());
                }
            } else if (!lines[i].isEmpty()) {
                sections.last() << lines[i];
            }
        }
        QCOMPARE(lines.last(), rule);

        // heading, method, requirements, use, closing
        QCOMPARE(sections.size(), 5);
        QCOMPARE(sections[0].size(), 1);
        QVERIFY(sections[1].size() >= 4);
        QCOMPARE(sections[2].size(), 1);
        QCOMPARE(sections[3].size(), 5);
        QCOMPARE(sections[4].size(), 1);

        const QStringList heading = sections[0][0].split(QStringLiteral(" - "));
        QCOMPARE(heading.size(), 3);
        QCOMPARE(heading[0], QStringLiteral("Gramisola ver. 1.0"));
        QCOMPARE(heading[2], QStringLiteral("2004"));
        QVERIFY(sections[4][0].startsWith(heading[1] + QStringLiteral(" - ")));
        QVERIFY(sections[4][0].endsWith(QStringLiteral("2004")));
    }

    void aboutTextFacts_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("present");
        QTest::newRow("worked example: AB then B, E, R")
            << R"("AB".*"B".*"E".*"R".*1/6, 2/6 e 3/6)" << true;
        QTest::newRow("orders 3, 4 and 5 are the interesting ones") << "3, 4 e 5" << true;
        QTest::newRow("main window captions, in the order of use")
            << R"("Carica file\.\.\.".*"Ordine:".*"Esegui".*"Opzioni\.\.\.".*"Interrompi".*)"
               R"("Continua".*"Cancella finestra")"
            << true;
        QTest::newRow("no claim that the program slows down") << R"(rallent|\blent)" << false;
    }

    void aboutTextFacts()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, present);
        const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
        QVERIFY(re.isValid());
        QCOMPARE(re.match(frmInfo::aboutText()).hasMatch(), present);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
