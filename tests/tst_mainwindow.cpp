// The main window: its start state, controls, output box and closing.
#include "frm_gramisola.h"
#include "frm_info.h"
#include "frm_opzioni.h"
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

#include <functional>

namespace {

// Records the order in which watched widgets change their enabled state.
struct EnabledOrder : QObject {
    QStringList names;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            names.append(watched->objectName());
        return false;
    }
};

// Performs `steps` (see GRAMISOLA_TEST_AUTOCLOSE in environment_hooks.h) one
// after another from the event loop it then runs; returns the loop's exit
// code, 99 when the steps did not end it.
int ExecWithSteps(frmGramisola &window, const QStringList &steps)
{
    QObject scope; // timers still pending when this returns die with it
    QTimer::singleShot(10000, &scope, [] { QCoreApplication::exit(99); });
    std::function<void(int)> run = [&](int i) {
        if (i >= steps.size())
            return;
        // The next step goes first: this one may stay inside a modal loop.
        QTimer::singleShot(50, &scope, [&run, i] { run(i + 1); });
        const QString &step = steps[i];
        if (step == u"info")
            window.cmdInfo->click();
        else if (step == u"options")
            window.cmdOptions->click();
        else if (step == u"options-ok")
            window.optionsDialog()->cmdOK->click();
        else if (step == u"button")
            window.cmdClose->click();
        else if (step == u"frame")
            window.windowHandle()->close(); // the request a window manager sends
    };
    QTimer::singleShot(0, &scope, [&run] { run(0); });
    return QApplication::exec();
}

QStringList LockedByRuns()
{
    QStringList names = {"cmdLoad", "cmdOptions"};
    for (int i = 0; i < 10; ++i)
        names.append(QStringLiteral("optLevel_%1").arg(i));
    return names << "cmdClear";
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void captions();
    void tabOrder();
    void textBoxes();
    void minimumSize();
    void appendResult_data();
    void appendResult();
    void appendShowsTheEnd();
    void clearResult();
    void selectedContextLength_data();
    void selectedContextLength();
    void runControlsEnabledInOrder();
    void drop_data();
    void drop();
    void programIcon();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void realProgramExitsWithZero();
};

void TestMainWindow::startState()
{
    frmGramisola window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Gramisola"));
    QCOMPARE(window.size(), QSize(745, 457));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(
            window.findChild<QRadioButton *>(QStringLiteral("optLevel_%1").arg(i))->isChecked(),
            i == 3);
    QCOMPARE(window.selectedContextLength(), 3);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("txtFilename"))->text(), QString());
    QCOMPARE(window.findChild<ResultBox *>(QStringLiteral("txtResult"))->toPlainText(), QString());
    QCOMPARE(window.txtResult->textLength(), 0);
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("cmdExec"))->text(),
             QStringLiteral("Esegui"));
    for (QWidget *w : window.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void TestMainWindow::captions()
{
    frmGramisola window;
    QStringList names = {"cmdLoad",  "cmdExec", "lblLevel", "cmdOptions",
                         "cmdClear", "cmdInfo", "cmdClose"};
    QStringList captions = {"Carica file...",    "Esegui",          "Ordine:", "Opzioni...",
                            "Cancella finestra", "Informazioni...", "Esci"};
    for (int i = 0; i < 10; ++i) {
        names.append(QStringLiteral("optLevel_%1").arg(i));
        captions.append(QString::number(i + 1));
    }
    for (int i = 0; i < names.size(); ++i) {
        QWidget *control = window.findChild<QWidget *>(names[i]);
        QVERIFY2(control, qPrintable(names[i]));
        if (auto *label = qobject_cast<QLabel *>(control)) {
            QCOMPARE(label->text(), captions[i]);
        } else {
            auto *button = qobject_cast<QAbstractButton *>(control);
            QCOMPARE(button->text(), captions[i]);
            QVERIFY2(button->shortcut().isEmpty(), "no caption has an access key");
        }
    }
}

void TestMainWindow::tabOrder()
{
    frmGramisola window;
    QStringList order;
    for (QWidget *w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
        if (w->parentWidget() == &window)
            order.append(w->objectName());
    QStringList expected = {"cmdLoad", "txtFilename", "cmdExec", "lblLevel"};
    for (int i = 0; i < 10; ++i)
        expected.append(QStringLiteral("optLevel_%1").arg(i));
    expected += {"cmdOptions", "txtResult", "cmdClear", "cmdInfo", "cmdClose"};
    QCOMPARE(order, expected);
}

void TestMainWindow::textBoxes()
{
    frmGramisola window;
    for (QWidget *box :
         {static_cast<QWidget *>(window.txtFilename), static_cast<QWidget *>(window.txtResult)})
        QCOMPARE(box->palette().color(QPalette::Base), box->palette().color(QPalette::Button));
    QVERIFY(window.txtFilename->isReadOnly());
    QVERIFY(window.txtResult->isReadOnly());
    QVERIFY(window.txtResult->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QCOMPARE(window.txtResult->property("MaxLength").toInt(), 65535);
    const QFontInfo font(window.txtResult->font());
    QCOMPARE(font.family(), QStringLiteral("Liberation Serif")); // what Times New Roman maps to
    QVERIFY(font.bold());
    QCOMPARE(window.txtResult->font().pointSize(), 12);
    QCOMPARE(window.txtFilename->font(), window.font()); // the others keep the default
}

void TestMainWindow::minimumSize()
{
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(300, 100);
    QTRY_COMPARE(window.frameGeometry().size(), QSize(720, 200));
    window.resize(3000, 2000); // no maximum
    QTRY_COMPARE(window.size(), QSize(3000, 2000));
}

void TestMainWindow::appendResult_data()
{
    QTest::addColumn<QStringList>("appends");
    QTest::addColumn<QString>("text");  // as the program sees it, CR LF for breaks
    QTest::addColumn<QString>("shown"); // as the box displays it
    QTest::newRow("CR becomes CR LF and counts two") << QStringList{"ab\rc"} << "ab\r\nc"
                                                     << "ab\nc";
    QTest::newRow("CR LF gains a second LF, shown as two breaks")
        << QStringList{"x\r\ny"} << "x\r\n\ny"
        << "x\n\ny";
    QTest::newRow("a lone LF stays one character and one break") << QStringList{"a\nb"} << "a\nb"
                                                                 << "a\nb";
    QTest::newRow("a CR ending one append and an LF starting the next")
        << QStringList{"a\r", "\nb"} << "a\r\n\nb"
        << "a\n\nb";
    QTest::newRow("the empty string adds nothing") << QStringList{"abc", ""} << "abc"
                                                   << "abc";
    QTest::newRow("accented letters are one character each")
        << QStringList{"citt\u00e0 ", "pi\u00f9"} << "citt\u00e0 pi\u00f9"
        << "citt\u00e0 pi\u00f9";
}

void TestMainWindow::appendResult()
{
    QFETCH(QStringList, appends);
    QFETCH(QString, text);
    frmGramisola window;
    for (const QString &piece : appends)
        window.AppendResult(piece);
    QCOMPARE(window.txtResult->text(), text);
    QCOMPARE(window.txtResult->textLength(), text.size());
    QTEST(window.txtResult->toPlainText(), "shown");
}

void TestMainWindow::appendShowsTheEnd()
{
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int i = 0; i < 200; ++i)
        window.AppendResult(QStringLiteral("riga %1\r").arg(i));
    // Whatever the user selected or scrolled to, an append, even an empty one,
    // puts the caret after the last character and brings it into view.
    window.txtResult->selectAll();
    window.txtResult->verticalScrollBar()->setValue(0);
    window.AppendResult(QString());
    QCoreApplication::processEvents();
    const QTextCursor cursor = window.txtResult->textCursor();
    QVERIFY(!cursor.hasSelection());
    QVERIFY(cursor.atEnd());
    QVERIFY(window.txtResult->verticalScrollBar()->value() > 0);
    QVERIFY(window.txtResult->viewport()->rect().contains(window.txtResult->cursorRect()));
}

void TestMainWindow::clearResult()
{
    frmGramisola window;
    auto *clear = window.findChild<QPushButton *>(QStringLiteral("cmdClear"));
    QTest::mouseClick(clear, Qt::LeftButton); // on an empty box: nothing changes
    QCOMPARE(window.txtResult->text(), QString());
    window.AppendResult(QStringLiteral("uno\rdue"));
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(window.txtResult->toPlainText(), QString());
    QCOMPARE(window.txtResult->text(), QString());
    window.AppendResult(QStringLiteral("tre\r"));
    QCOMPARE(window.txtResult->textLength(), 5); // counting starts again from zero
}

void TestMainWindow::selectedContextLength_data()
{
    QTest::addColumn<int>("selected"); // -1: none
    QTest::addColumn<int>("expected");
    QTest::newRow("order 1 is context length 0") << 0 << 0;
    QTest::newRow("order 10 is context length 9") << 9 << 9;
    QTest::newRow("none selected gives 0") << -1 << 0;
}

void TestMainWindow::selectedContextLength()
{
    QFETCH(int, selected);
    frmGramisola window;
    if (selected >= 0) {
        QTest::mouseClick(window.optLevel[selected], Qt::LeftButton);
    } else {
        window.optLevel[3]->setAutoExclusive(false);
        window.optLevel[3]->setChecked(false);
    }
    for (int i = 0; i < 10; ++i)
        QCOMPARE(window.optLevel[i]->isChecked(), i == selected);
    QTEST(window.selectedContextLength(), "expected");
}

void TestMainWindow::runControlsEnabledInOrder()
{
    frmGramisola window;
    EnabledOrder order;
    for (QWidget *w : window.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->installEventFilter(&order);
    window.setRunControlsEnabled(false);
    QCOMPARE(order.names, LockedByRuns());
    for (const char *free : {"cmdExec", "cmdInfo", "cmdClose"})
        QVERIFY2(window.findChild<QWidget *>(QLatin1String(free))->isEnabled(), free);
    order.names.clear();
    window.setRunControlsEnabled(true);
    QCOMPARE(order.names, LockedByRuns());
}

void TestMainWindow::drop_data()
{
    // Names are made in a fresh folder: "name/" a folder, "name!" not made at
    // all, "http:" a remote file.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("loadEnabled");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a .txt file is chosen") << QStringList{"testo.txt"} << true << true;
    QTest::newRow("the suffix in capitals too") << QStringList{"TESTO.TXT"} << true << true;
    QTest::newRow("another type is refused") << QStringList{"note.md"} << true << false;
    QTest::newRow("a folder named .txt is refused")
        << QStringList{"cartella.txt/"} << true << false;
    QTest::newRow("a missing file is refused") << QStringList{"manca.txt!"} << true << false;
    QTest::newRow("two files are refused")
        << QStringList{"testo.txt", "altro.txt"} << true << false;
    QTest::newRow("a remote file is refused") << QStringList{"http:"} << true << false;
    QTest::newRow("refused while cmdLoad is disabled")
        << QStringList{"testo.txt"} << false << false;
}

void TestMainWindow::drop()
{
    QFETCH(QStringList, files);
    QFETCH(bool, loadEnabled);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (QString name : files) {
        if (name == u"http:") {
            urls.append(QUrl(QStringLiteral("http://example.org/testo.txt")));
            continue;
        }
        if (name.endsWith(u'/'))
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
        else if (!name.endsWith(u'!'))
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        urls.append(QUrl::fromLocalFile(dir.filePath(name.remove(u'!').remove(u'/'))));
    }
    frmGramisola window;
    window.cmdExec->setText(QStringLiteral("Continua"));
    window.txtFilename->setText(QStringLiteral("/prima/scelta.txt"));
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
    QCOMPARE(window.cmdExec->text(),
             accepted ? QStringLiteral("Esegui") : QStringLiteral("Continua"));
}

void TestMainWindow::programIcon()
{
    const QImage small(QStringLiteral(":/icons/gramisola.png"));
    QCOMPARE(small.size(), QSize(32, 32));
    QCOMPARE(small.format(), QImage::Format_Indexed8);
    QVERIFY(small.colorCount() <= 16);
    QCOMPARE(ProgramIcon().availableSizes(), (QList<QSize>{QSize(32, 32), QSize(256, 256)}));
}

void TestMainWindow::closingEndsTheProgram_data()
{
    QTest::addColumn<QString>("steps");
    QTest::newRow("Esci") << "button";
    QTest::newRow("the frame's close box") << "frame";
    QTest::newRow("Esci with the about window open") << "info,button";
    QTest::newRow("frame with the about window open, options dialog hidden")
        << "info,options,options-ok,frame";
    QTest::newRow("Esci while the options dialog is shown modally") << "info,options,button";
}

void TestMainWindow::closingEndsTheProgram()
{
    QFETCH(QString, steps);
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The window must end the program itself, not through Qt's quitting after
    // the last window (which an open about window would prevent anyway).
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const int exitCode = ExecWithSteps(window, steps.split(u','));
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QCOMPARE(exitCode, 0);
    QVERIFY(window.closeRequested());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), w->metaObject()->className());
    QCOMPARE(frmInfo::current(), nullptr);
}

void TestMainWindow::realProgramExitsWithZero()
{
    const QString app = qEnvironmentVariable("GRAMISOLA_APP");
    if (app.isEmpty())
        QSKIP("GRAMISOLA_APP is not set (run through ctest)");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The hardest case for the real program: a modal loop and a second window
    // open when Esci is clicked; its exit status must still be 0.
    env.insert(QStringLiteral("GRAMISOLA_TEST_AUTOCLOSE"), QStringLiteral("info,options,button"));
    process.setProcessEnvironment(env);
    process.start(app, {});
    QVERIFY2(process.waitForFinished(20000), "the program did not end when closed");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
