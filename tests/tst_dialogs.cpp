// The options dialog and the about window: what each box sets, captions that
// fit, keyboard order, one about window at a time, closing. What a text box
// copies (the about text's is one) is the desktop test's part.
#include "find_control.h"
#include "frm_info.h"
#include "frm_opzioni.h"
#include "selectable_text_box.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(PreparationOptions)

// The ways a user can close a window: its button, the frame, the keyboard.
enum class CloseBy { OkButton, Frame, Escape };
Q_DECLARE_METATYPE(CloseBy)

namespace {

// Object names of the widgets that Tab visits, in order, starting after `window`.
QStringList tabStops(QWidget *window)
{
    QStringList names;
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            names << w->objectName();
    return names;
}

SelectableTextBox *infoText(frmInfo *info)
{
    return Control<SelectableTextBox>(*info, QStringLiteral("txtInfo"));
}

// Whether a label shows all of its text's ink. A label draws its text laid out
// in its contents and cut at their edges; drawn the same way uncut, with a
// margin around, no pixel of ink may fall outside the contents. The ink, not
// the font's line height, which some fonts (Noto Sans) make taller than a
// label whose letters, descenders included, all show.
bool showsAllItsInk(const QLabel *label)
{
    constexpr int margin = 20;
    const QRect contents = label->contentsRect().translated(margin, margin);
    QImage image(label->size() + QSize(2 * margin, 2 * margin), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(label->font());
    painter.drawText(contents, int(label->alignment()) | Qt::TextDontClip, label->text());
    painter.end();
    bool inked = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                if (!contents.contains(x, y))
                    return false;
                inked = true;
            }
    return inked;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { delete frmInfo::current(); }

    // That every box starts unticked, the row of the OK button shows.
    void optionsTabOrder()
    {
        frmOpzioni dialog;
        QCOMPARE(tabStops(&dialog), QStringList({"chkNumeri", "chkACapo", "chkPunteggiatura",
                                                 "chkMinuscolo", "chkNessuna", "cmdOK"}));
    }

    void optionsControls_data()
    {
        // Row names are object names.
        QTest::addColumn<QString>("caption");
        QTest::addColumn<PreparationOptions>("alone"); // options() with only this box checked
        using P = PreparationOptions;
        QTest::newRow("chkNumeri") << "Ignora i numeri" << P{.ignoreDigits = true};
        QTest::newRow("chkACapo") << "Ignora i ritorni a capo" << P{.ignoreLineBreaks = true};
        QTest::newRow("chkPunteggiatura")
            << "Ignora la punteggiatura" << P{.ignorePunctuation = true};
        QTest::newRow("chkMinuscolo") << "Imposta tutto minuscolo" << P{.lowerCase = true};
        QTest::newRow("chkNessuna")
            << "Non eliminare gli spazi multipli" << P{.keepMultipleSpaces = true};
        QTest::newRow("cmdOK") << "OK" << P{};
    }

    // With the desktop's font no caption is cut: boxes and window widen instead.
    void optionsControls()
    {
        frmOpzioni dialog;
        auto *button = dialog.findChild<QAbstractButton *>(QLatin1String(QTest::currentDataTag()));
        QTEST(button->text(), "caption");
        QVERIFY(button->sizeHint().width() <= button->width());
        QVERIFY(dialog.rect().contains(button->geometry()));
        button->setChecked(true);
        QTEST(dialog.options(), "alone");
    }

    void infoIsOneModelessWindow()
    {
        QWidget mainWindow;
        mainWindow.show();
        QPointer<frmInfo> info = frmInfo::showInfo();
        QVERIFY(info && info->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(frmInfo::showInfo(), info.data());     // the one window, shown again
        for (const char *name : {"Label1", "Label2"}) { // no text is cut
            const auto *label = Control<QLabel>(*info, QLatin1String(name));
            QVERIFY2(showsAllItsInk(label), name);
        }
        QCOMPARE(tabStops(info), QStringList({"txtInfo", "cmdOK"}));
        QCOMPARE(QAccessible::queryAccessibleInterface(infoText(info))->text(QAccessible::Name),
                 QStringLiteral("Informazioni su Gramisola")); // what a screen reader calls it
        QVERIFY(QTest::qWaitForWindowActive(info));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtInfo"));
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
            infoText(frmInfo::current())->moveCursor(QTextCursor::End);
            close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!dialog);
            QCOMPARE(infoText(frmInfo::showInfo())->textCursor().position(), 0);
            return;
        }
        auto *options = static_cast<frmOpzioni *>(dialog.data());
        QTimer::singleShot(5000, dialog, [&] { dialog->done(-1); }); // no hang on a failure
        bool wasModal = false;
        QTimer::singleShot(0, dialog, [&] {
            wasModal = QApplication::activeModalWidget() == dialog;
            QTest::mouseClick(Control<QCheckBox>(*options, "chkACapo"), Qt::LeftButton);
            QTest::mouseClick(Control<QCheckBox>(*options, "chkMinuscolo"), Qt::LeftButton);
            close();
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QVERIFY(wasModal);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(dialog, "closing must hide the dialog, not destroy it");
        QVERIFY(dialog->isHidden());
        PreparationOptions onReopen;
        QTimer::singleShot(0, dialog, [&] {
            onReopen = options->options();
            Control<QPushButton>(*options, "cmdOK")->click();
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QVERIFY((onReopen == PreparationOptions{.ignoreLineBreaks = true, .lowerCase = true}));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
