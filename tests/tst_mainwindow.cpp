// The main window: its start state, controls, output box and closing.
#include "frm_gramisola.h"
#include "frm_info.h"
#include "frm_opzioni.h"
#include "program_icon.h"
#include "result_box.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
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
class EnabledOrder : public QObject {
public:
    QStringList names;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            names.append(watched->objectName());
        return false;
    }
};

// Runs `steps` one after another from the event loop, then runs the event loop
// itself; returns its exit code, or 99 when the steps did not end it.
int ExecWithSteps(QList<std::function<void()>> steps)
{
    QObject scope; // timers still pending when this returns die with it
    QTimer::singleShot(10000, &scope, [] { QCoreApplication::exit(99); });
    std::function<void(int)> run = [&](int i) {
        if (i >= steps.size())
            return;
        // The next step goes first: this one may stay inside a modal loop.
        QTimer::singleShot(50, &scope, [&run, i] { run(i + 1); });
        steps[i]();
    };
    QTimer::singleShot(0, &scope, [&run] { run(0); });
    return QApplication::exec();
}

QStringList VisibleTopLevels()
{
    QStringList names;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            names.append(w->objectName() + u'/' +
                         QString::fromLatin1(w->metaObject()->className()));
    return names;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void captions_data();
    void captions();
    void tabOrder();
    void textBoxes();
    void minimumSize();
    void appendResult_data();
    void appendResult();
    void appendMovesCaretToEnd();
    void appendScrollsToEnd();
    void clearResult();
    void copyGivesLineFeeds();
    void selectedContextLength_data();
    void selectedContextLength();
    void runControlsEnabledInOrder();
    void drop_data();
    void drop();
    void programIcon();
    void closingEndsTheEventLoop_data();
    void closingEndsTheEventLoop();
    void realProgramExitsWithZero_data();
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
    auto *result = window.findChild<ResultBox *>(QStringLiteral("txtResult"));
    QCOMPARE(result->toPlainText(), QString());
    QCOMPARE(result->textLength(), 0);
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("cmdExec"))->text(),
             QStringLiteral("Esegui"));
    for (QWidget *w : window.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void TestMainWindow::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("cmdLoad") << "cmdLoad"
                             << "Carica file...";
    QTest::newRow("cmdExec") << "cmdExec"
                             << "Esegui";
    QTest::newRow("lblLevel") << "lblLevel"
                              << "Ordine:";
    for (int i = 0; i < 10; ++i)
        QTest::addRow("optLevel_%d shows %d", i, i + 1)
            << QStringLiteral("optLevel_%1").arg(i) << QString::number(i + 1);
    QTest::newRow("cmdOptions") << "cmdOptions"
                                << "Opzioni...";
    QTest::newRow("cmdClear") << "cmdClear"
                              << "Cancella finestra";
    QTest::newRow("cmdInfo") << "cmdInfo"
                             << "Informazioni...";
    QTest::newRow("cmdClose") << "cmdClose"
                              << "Esci";
}

void TestMainWindow::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    frmGramisola window;
    QWidget *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), &window);
    if (auto *label = qobject_cast<QLabel *>(control)) {
        QCOMPARE(label->text(), caption);
    } else {
        auto *button = qobject_cast<QAbstractButton *>(control);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
        QVERIFY2(button->shortcut().isEmpty(), "no caption has an access key");
    }
}

void TestMainWindow::tabOrder()
{
    frmGramisola window;
    QStringList order;
    QWidget *w = &window;
    do {
        w = w->nextInFocusChain();
        if (w->parentWidget() == &window && (order.isEmpty() || order.last() != w->objectName()))
            order.append(w->objectName());
    } while (w != &window);
    QStringList expected = {"cmdLoad", "txtFilename", "cmdExec", "lblLevel"};
    for (int i = 0; i < 10; ++i)
        expected.append(QStringLiteral("optLevel_%1").arg(i));
    expected += {"cmdOptions", "txtResult", "cmdClear", "cmdInfo", "cmdClose"};
    QCOMPARE(order, expected);
}

void TestMainWindow::textBoxes()
{
    frmGramisola window;
    auto *filename = window.findChild<QLineEdit *>(QStringLiteral("txtFilename"));
    QVERIFY(filename->isReadOnly());
    QCOMPARE(filename->palette().color(QPalette::Base),
             filename->palette().color(QPalette::Button));

    auto *result = window.findChild<ResultBox *>(QStringLiteral("txtResult"));
    QVERIFY(result->isReadOnly());
    QCOMPARE(result->textInteractionFlags(),
             Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QCOMPARE(result->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(result->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(result->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    QCOMPARE(result->palette().color(QPalette::Base), result->palette().color(QPalette::Button));
    QCOMPARE(result->property("MaxLength").toInt(), 65535);
    const QFontInfo font(result->font());
    QCOMPARE(font.family(), QStringLiteral("Liberation Serif")); // what Times New Roman maps to
    QVERIFY(font.bold());
    QCOMPARE(result->font().pointSize(), 12);
    // The other controls keep the window's default font.
    QCOMPARE(filename->font(), window.font());
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
    QTest::newRow("appends follow each other") << QStringList{"ab", "c\r", "d"} << "abc\r\nd"
                                               << "abc\nd";
    QTest::newRow("a CR ending one append and an LF starting the next")
        << QStringList{"a\r", "\nb"} << "a\r\n\nb"
        << "a\n\nb";
    QTest::newRow("the empty string adds nothing") << QStringList{"abc", ""} << "abc"
                                                   << "abc";
    QTest::newRow("accented letters are one character each")
        << QStringList{"perch\u00e9 citt\u00e0"} << "perch\u00e9 citt\u00e0"
        << "perch\u00e9 citt\u00e0";
}

void TestMainWindow::appendResult()
{
    QFETCH(QStringList, appends);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    frmGramisola window;
    for (const QString &piece : appends)
        window.AppendResult(piece);
    QCOMPARE(window.txtResult->text(), text);
    QCOMPARE(window.txtResult->textLength(), text.size());
    QCOMPARE(window.txtResult->toPlainText(), shown);
}

void TestMainWindow::appendMovesCaretToEnd()
{
    frmGramisola window;
    window.AppendResult(QStringLiteral("prima riga\rseconda"));
    window.txtResult->selectAll();
    window.txtResult->moveCursor(QTextCursor::Start, QTextCursor::KeepAnchor);
    window.AppendResult(QString());
    const QTextCursor cursor = window.txtResult->textCursor();
    QVERIFY(!cursor.hasSelection());
    QVERIFY(cursor.atEnd());
    QCOMPARE(window.txtResult->text(), QStringLiteral("prima riga\r\nseconda"));
}

void TestMainWindow::appendScrollsToEnd()
{
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QScrollBar *bar = window.txtResult->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        window.AppendResult(QStringLiteral("riga %1\r").arg(i));
    QCoreApplication::processEvents();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(0);
    window.AppendResult(QStringLiteral("ultima"));
    QCoreApplication::processEvents();
    // The caret, after the last character, is in view.
    QVERIFY(bar->value() > 0);
    const QRect caret = window.txtResult->cursorRect();
    QVERIFY2(window.txtResult->viewport()->rect().contains(caret),
             qPrintable(QStringLiteral("caret at %1,%2").arg(caret.x()).arg(caret.y())));
}

void TestMainWindow::clearResult()
{
    frmGramisola window;
    auto *clear = window.findChild<QPushButton *>(QStringLiteral("cmdClear"));
    // On an empty box nothing changes.
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(window.txtResult->toPlainText(), QString());
    QCOMPARE(window.txtResult->textLength(), 0);

    window.AppendResult(QStringLiteral("uno\rdue"));
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(window.txtResult->toPlainText(), QString());
    QCOMPARE(window.txtResult->text(), QString());
    QCOMPARE(window.txtResult->textLength(), 0);
    window.AppendResult(QStringLiteral("tre\r"));
    QCOMPARE(window.txtResult->textLength(), 5);
}

void TestMainWindow::copyGivesLineFeeds()
{
    frmGramisola window;
    window.AppendResult(QStringLiteral("uno\rdue"));
    window.txtResult->setFocus();
    window.txtResult->selectAll();
    window.txtResult->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("uno\ndue"));
}

void TestMainWindow::selectedContextLength_data()
{
    QTest::addColumn<int>("selected"); // -1: none
    QTest::addColumn<int>("expected");
    QTest::newRow("order 1 is context length 0") << 0 << 0;
    QTest::newRow("order 7 is context length 6") << 6 << 6;
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
    QStringList locked = {"cmdLoad", "cmdOptions"};
    for (int i = 0; i < 10; ++i)
        locked.append(QStringLiteral("optLevel_%1").arg(i));
    locked.append("cmdClear");

    window.setRunControlsEnabled(false);
    QCOMPARE(order.names, locked);
    for (const char *free : {"cmdExec", "cmdInfo", "cmdClose", "txtResult", "txtFilename"})
        QVERIFY2(window.findChild<QWidget *>(QLatin1String(free))->isEnabled(), free);

    order.names.clear();
    window.setRunControlsEnabled(true);
    QCOMPARE(order.names, locked);
}

void TestMainWindow::drop_data()
{
    QTest::addColumn<QStringList>("files"); // relative to a fresh folder; "http:" = remote
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
        if (name.endsWith(u'/')) {
            name.chop(1);
            QVERIFY(QDir(dir.path()).mkdir(name));
        } else if (name.endsWith(u'!')) {
            name.chop(1);
        } else {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        urls.append(QUrl::fromLocalFile(dir.filePath(name)));
    }

    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
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

    if (accepted) {
        QCOMPARE(window.txtFilename->text(),
                 QFileInfo(urls.front().toLocalFile()).absoluteFilePath());
        QCOMPARE(window.cmdExec->text(), QStringLiteral("Esegui"));
    } else {
        QCOMPARE(window.txtFilename->text(), QStringLiteral("/prima/scelta.txt"));
        QCOMPARE(window.cmdExec->text(), QStringLiteral("Continua"));
    }
}

void TestMainWindow::programIcon()
{
    const QImage small(QStringLiteral(":/icons/gramisola.png"));
    QCOMPARE(small.size(), QSize(32, 32));
    QCOMPARE(small.format(), QImage::Format_Indexed8);
    QVERIFY(small.colorCount() <= 16);
    const QIcon icon = ProgramIcon();
    QCOMPARE(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));
    QCOMPARE(icon.availableSizes().size(), 2);
}

void TestMainWindow::closingEndsTheEventLoop_data()
{
    QTest::addColumn<QString>("how"); // the steps: comma-separated, see below
    QTest::newRow("Esci") << "button";
    QTest::newRow("the frame's close box") << "frame";
    QTest::newRow("Esci with the about window open") << "info,button";
    QTest::newRow("frame with the about window open, options dialog hidden")
        << "info,options,options-ok,frame";
    QTest::newRow("Esci while the options dialog is shown modally") << "info,options,button";
}

void TestMainWindow::closingEndsTheEventLoop()
{
    QFETCH(QString, how);
    frmGramisola window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QList<std::function<void()>> steps;
    for (const QString &step : how.split(u',')) {
        if (step == u"info")
            steps.append([&] { window.cmdInfo->click(); });
        else if (step == u"options")
            steps.append([&] { window.cmdOptions->click(); });
        else if (step == u"options-ok")
            steps.append([&] { window.optionsDialog()->cmdOK->click(); });
        else if (step == u"button")
            steps.append([&] { window.cmdClose->click(); });
        else if (step == u"frame")
            steps.append([&] { window.windowHandle()->close(); });
    }
    // The window must end the program itself, not through Qt's quitting after
    // the last window (which an open about window would prevent anyway).
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const int exitCode = ExecWithSteps(steps);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QCOMPARE(exitCode, 0);
    QVERIFY(window.closeRequested());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(VisibleTopLevels(), QStringList());
    QCOMPARE(frmInfo::current(), nullptr);
}

void TestMainWindow::realProgramExitsWithZero_data()
{
    QTest::addColumn<QString>("steps"); // GRAMISOLA_TEST_AUTOCLOSE
    QTest::newRow("Esci") << "button";
    QTest::newRow("the frame's close box") << "frame";
    QTest::newRow("Esci with the about window and the options dialog open")
        << "info,options,button";
    QTest::newRow("frame with the about window open and the options dialog hidden")
        << "info,options,options-ok,frame";
}

void TestMainWindow::realProgramExitsWithZero()
{
    QFETCH(QString, steps);
    const QString app = qEnvironmentVariable("GRAMISOLA_APP");
    if (app.isEmpty())
        QSKIP("GRAMISOLA_APP is not set (run through ctest)");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("GRAMISOLA_TEST_AUTOCLOSE"), steps);
    process.setProcessEnvironment(env);
    process.start(app, {});
    QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
    QVERIFY2(process.waitForFinished(20000), "the program did not end when closed");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
