// The main window: its start state, captions, output box, drops and closing.
#include "frm_gramisola.h"
#include "frm_info.h"
#include "program_icon.h"
#include "result_box.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startStateCaptionsAndTabOrder()
    {
        frmGramisola window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Gramisola"));
        QCOMPARE(window.size(), QSize(745, 457));
        // Every control in tab order, with the text it starts with.
        QList<std::pair<QString, QString>> expected = {{"cmdLoad", "Carica file..."},
                                                       {"txtFilename", ""},
                                                       {"cmdExec", "Esegui"},
                                                       {"lblLevel", "Ordine:"}};
        for (int i = 0; i < 10; ++i)
            expected.append({QStringLiteral("optLevel_%1").arg(i), QString::number(i + 1)});
        expected += {{"cmdOptions", "Opzioni..."},
                     {"txtResult", ""},
                     {"cmdClear", "Cancella finestra"},
                     {"cmdInfo", "Informazioni..."},
                     {"cmdClose", "Esci"}};
        QList<std::pair<QString, QString>> found;
        for (QWidget *w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
            if (w->parentWidget() == &window) {
                found.append({w->objectName(), w->property("text").toString()});
                QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
            }
        }
        QCOMPARE(found, expected);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(window.optLevel[i]->isChecked(), i == 3);
        QCOMPARE(window.selectedContextLength(), 3);
    }

    void textBoxes()
    {
        frmGramisola window;
        for (QWidget *box :
             {static_cast<QWidget *>(window.txtFilename), static_cast<QWidget *>(window.txtResult)})
            QCOMPARE(box->palette().color(QPalette::Base), box->palette().color(QPalette::Button));
        QVERIFY(window.txtFilename->isReadOnly() && window.txtResult->isReadOnly());
        QVERIFY(window.txtResult->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QCOMPARE(window.txtResult->MaxLength(), 65535);
        const QFontInfo font(window.txtResult->font());
        QCOMPARE(font.family(), QStringLiteral("Liberation Serif")); // Times New Roman's stand-in
        QVERIFY(font.bold());
        QCOMPARE(window.txtResult->font().pointSize(), 12);
    }

    void minimumSize()
    {
        frmGramisola window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(300, 100);
        QTRY_COMPARE(window.frameGeometry().size(), QSize(720, 200));
        window.resize(3000, 2000); // no maximum
        QTRY_COMPARE(window.size(), QSize(3000, 2000));
    }

    void appendResult_data()
    {
        QTest::addColumn<QStringList>("appends");
        QTest::addColumn<QString>("text"); // as the program sees it, CR LF for breaks
        QTest::newRow("CR becomes CR LF") << QStringList{"ab\rc"} << "ab\r\nc";
        QTest::newRow("CR LF gains a second LF") << QStringList{"x\r\ny"} << "x\r\n\ny";
        QTest::newRow("a lone LF stays one break") << QStringList{"a\nb"} << "a\nb";
        QTest::newRow("CR ends one append, LF starts the next")
            << QStringList{"a\r", "\nb"} << "a\r\n\nb";
        QTest::newRow("the empty string adds nothing") << QStringList{"abc", ""} << "abc";
        QTest::newRow("accented letters count one each")
            << QStringList{"citt\u00e0 ", "pi\u00f9"} << "citt\u00e0 pi\u00f9";
    }

    void appendResult()
    {
        QFETCH(QStringList, appends);
        QFETCH(QString, text);
        frmGramisola window;
        for (const QString &piece : appends)
            window.AppendResult(piece);
        QCOMPARE(window.txtResult->text(), text);
        QCOMPARE(window.txtResult->textLength(), text.size());
        // Shown: one break for each CR LF and for each lone LF.
        QCOMPARE(window.txtResult->toPlainText(), QString(text).remove(u'\r'));
    }

    void appendShowsTheEndAndClearRestarts()
    {
        frmGramisola window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < 200; ++i)
            window.AppendResult(QStringLiteral("riga %1\r").arg(i));
        // Whatever the user selected or scrolled to, an append, even an empty
        // one, puts the caret after the last character and brings it into view.
        window.txtResult->selectAll();
        window.txtResult->verticalScrollBar()->setValue(0);
        window.AppendResult(QString());
        QCoreApplication::processEvents();
        QVERIFY(!window.txtResult->textCursor().hasSelection());
        QVERIFY(window.txtResult->textCursor().atEnd());
        QVERIFY(window.txtResult->verticalScrollBar()->value() > 0);
        QVERIFY(window.txtResult->viewport()->rect().contains(window.txtResult->cursorRect()));

        QTest::mouseClick(window.cmdClear, Qt::LeftButton);
        QCOMPARE(window.txtResult->toPlainText(), QString());
        window.AppendResult(QStringLiteral("tre\r"));
        QCOMPARE(window.txtResult->textLength(), 5); // counting starts again from zero
    }

    void selectedContextLength()
    {
        frmGramisola window;
        QTest::mouseClick(window.optLevel[9], Qt::LeftButton);
        QCOMPARE(window.selectedContextLength(), 9);
        QTest::mouseClick(window.optLevel[0], Qt::LeftButton);
        QCOMPARE(window.selectedContextLength(), 0);
        window.optLevel[0]->setAutoExclusive(false);
        window.optLevel[0]->setChecked(false);
        QCOMPARE(window.selectedContextLength(), 0); // none selected
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
        QTest::newRow("a missing file") << QStringList{"manca.txt"} << true << false;
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
        for (const char *name : {"testo.txt", "TESTO.TXT", "altro.txt", "note.md"})
            QVERIFY(QFile(dir.filePath(QLatin1String(name))).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("cartella.txt")));
        QList<QUrl> urls;
        for (const QString &name : files)
            urls.append(name.startsWith(u"http") ? QUrl(name)
                                                 : QUrl::fromLocalFile(dir.filePath(name)));
        frmGramisola window;
        window.cmdExec->setText(QStringLiteral("Continua"));
        window.txtFilename->setText(QStringLiteral("/prima/scelta.txt"));
        QFETCH(bool, loadEnabled);
        window.cmdLoad->setEnabled(loadEnabled);

        QMimeData data;
        data.setUrls(urls);
        const QPoint at = window.txtResult->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &dropped);
        QCOMPARE(window.txtFilename->text(),
                 accepted ? urls.front().toLocalFile() : QStringLiteral("/prima/scelta.txt"));
        QCOMPARE(window.cmdExec->text(), accepted ? "Esegui" : "Continua");
    }

    void programIcon()
    {
        const QImage small(QStringLiteral(":/icons/gramisola.png"));
        QCOMPARE(small.format(), QImage::Format_Indexed8);
        QVERIFY(small.colorCount() <= 16);
        QCOMPARE(ProgramIcon().availableSizes(), (QList<QSize>{QSize(32, 32), QSize(256, 256)}));
    }

    void closingEndsTheProgram_data()
    {
        // Buttons clicked 50 ms apart (timers go on firing inside a modal
        // loop); "frame" is the request a window manager sends.
        QTest::addColumn<QString>("steps");
        QTest::newRow("frame with the about window open") << "cmdInfo,cmdOptions,cmdOK,frame";
        QTest::newRow("Esci inside the modal options dialog") << "cmdInfo,cmdOptions,cmdClose";
    }

    void closingEndsTheProgram()
    {
        QFETCH(QString, steps);
        frmGramisola window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QObject scope; // timers still pending at the end die with it
        QTimer::singleShot(10000, &scope, [] { QCoreApplication::exit(99); });
        const QStringList names = steps.split(u',');
        for (int i = 0; i < names.size(); ++i) {
            QTimer::singleShot(50 * (i + 1), &scope, [&window, name = names[i]] {
                if (name == u"frame")
                    window.windowHandle()->close();
                else // the options dialog is the window's child, the about window is not
                    window.findChild<QPushButton *>(name)->click();
            });
        }
        // The window itself must end the program, not Qt's quitting after the
        // last window (which an open about window would prevent anyway).
        QGuiApplication::setQuitOnLastWindowClosed(false);
        const int exitCode = QApplication::exec();
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QCOMPARE(exitCode, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), w->metaObject()->className());
        QCOMPARE(frmInfo::current(), nullptr);
    }

    void realProgramExitsWithZero()
    {
        // The hardest case for the real program: a modal loop and a second
        // window open when Esci is clicked.
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GRAMISOLA_TEST_AUTOCLOSE"),
                   QStringLiteral("info,options,button"));
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("GRAMISOLA_APP"), {});
        QVERIFY2(process.waitForFinished(20000), "the program did not end when closed");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
