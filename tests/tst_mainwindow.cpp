// The main window: its start state, captions, names a screen reader reads,
// keyboard, output box and drops. Its size and layout are the layout test's,
// its title the desktop test's (the window is found by it). Closing is tested on
// the real process, in the run-control test.
#include "find_control.h"
#include "frm_gramisola.h"
#include "result_box.h"

#include <QAccessible>
#include <QApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

ResultBox *Box(const QWidget &window)
{
    return Control<ResultBox>(window, QStringLiteral("txtResult"));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startStateCaptionsAndTabOrder()
    {
        frmGramisola window;
        // Every control in tab order: its name, the text it starts with and the
        // name a screen reader gives it.
        QStringList expected = {"cmdLoad|Carica file...|Carica file...",
                                "txtFilename||File di testo", "cmdExec|Esegui|Esegui",
                                "lblLevel|Ordine:|Ordine:"};
        for (int i = 0; i < 10; ++i)
            expected.append(QStringLiteral("optLevel_%1|%2|Ordine %2").arg(i).arg(i + 1));
        expected += {"cmdOptions|Opzioni...|Opzioni...",
                     "txtResult||Testo generato",
                     "cmdClear|Cancella finestra|Cancella finestra",
                     "cmdInfo|Informazioni...|Informazioni...",
                     "cmdClose|Esci|Esci",
                     "prgPreparation||"}; // hidden, and named by each stage it shows
        QStringList found;
        for (QWidget *w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
            if (w->parentWidget() == &window) {
                found.append(w->objectName() + u'|' + w->property("text").toString() + u'|' +
                             QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name));
                QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
            }
        }
        QCOMPARE(found, expected);
        // Order 4; the buttons exclude each other.
        QVERIFY(Control<QRadioButton>(window, QStringLiteral("optLevel_3"))->isChecked());

        // The label is what labels the order buttons for a screen reader.
        const auto labelled = QAccessible::queryAccessibleInterface(
                                  Control<QLabel>(window, QStringLiteral("lblLevel")))
                                  ->relations(QAccessible::Labelled);
        QVERIFY(!labelled.isEmpty());
        QCOMPARE(labelled.first().first->object()->objectName(), QStringLiteral("optLevel_0"));
    }

    // What an append keeps and shows is the desktop test's (the window hands
    // it to the box); here, where it leaves the caret, and clearing.
    void appendResultAndClear()
    {
        frmGramisola window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < 200; ++i)
            window.AppendResult(QStringLiteral("riga %1\r").arg(i));
        // Whatever the user selected or scrolled to, an append, even an empty
        // one, puts the caret after the last character and brings it into view.
        Box(window)->selectAll();
        Box(window)->verticalScrollBar()->setValue(0);
        window.AppendResult(QString());
        QCoreApplication::processEvents();
        QVERIFY(!Box(window)->textCursor().hasSelection());
        QVERIFY(Box(window)->textCursor().atEnd());
        QVERIFY(Box(window)->viewport()->rect().contains(Box(window)->cursorRect()));

        // "Cancella finestra", reached with Tab, takes Return as in a dialog
        // (Space is Qt's own).
        auto *clear = Control<QPushButton>(window, QStringLiteral("cmdClear"));
        Control<QPushButton>(window, QStringLiteral("cmdLoad"))->setFocus();
        for (int i = 0; i < 20 && !clear->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(clear->hasFocus());
        QTest::keyClick(clear, Qt::Key_Return);
        QCOMPARE(Box(window)->toPlainText(), QString());
        window.AppendResult(QStringLiteral("tre\r"));
        QCOMPARE(Box(window)->textLength(), 5); // counting starts again from zero
    }

    void drop_data()
    {
        QTest::addColumn<QStringList>("files"); // in a folder made below
        QTest::addColumn<bool>("loadEnabled");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a .txt file is chosen") << QStringList{"testo.txt"} << true << true;
        QTest::newRow("the suffix in capitals too") << QStringList{"TESTO.TXT"} << true << true;
        QTest::newRow("another type") << QStringList{"note.md"} << true << false;
        QTest::newRow("a folder named .txt") << QStringList{"cartella.txt"} << true << false;
        QTest::newRow("two files") << QStringList{"testo.txt", "altro.txt"} << true << false;
        QTest::newRow("a remote file")
            << QStringList{"http://example.org/testo.txt"} << true << false;
        QTest::newRow("cmdLoad disabled") << QStringList{"testo.txt"} << false << false;
    }

    void drop()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        for (const char *name : {"testo.txt", "TESTO.TXT", "altro.txt", "note.md"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Il gatto dorme.") > 0);
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("cartella.txt")));
        QList<QUrl> urls;
        for (const QString &name : files)
            urls.append(name.startsWith(u"http") ? QUrl(name)
                                                 : QUrl::fromLocalFile(dir.filePath(name)));
        // A paused run, so that an accepted drop visibly starts afresh.
        frmGramisola window;
        window.show();
        auto *exec = Control<QPushButton>(window, QStringLiteral("cmdExec"));
        auto *fileName = Control<QLineEdit>(window, QStringLiteral("txtFilename"));
        fileName->setText(dir.filePath(QStringLiteral("testo.txt")));
        exec->click();
        QTRY_VERIFY(Box(window)->textLength() > 0);
        exec->click();
        QCOMPARE(exec->text(), QStringLiteral("Continua"));
        fileName->setText(QStringLiteral("/prima/scelta.txt"));
        QFETCH(bool, loadEnabled);
        Control<QPushButton>(window, QStringLiteral("cmdLoad"))->setEnabled(loadEnabled);

        QMimeData data;
        data.setUrls(urls);
        const QPoint at = Box(window)->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &dropped);
        QCOMPARE(fileName->text(),
                 accepted ? urls.front().toLocalFile() : QStringLiteral("/prima/scelta.txt"));
        QCOMPARE(exec->text(), accepted ? "Esegui" : "Continua");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
