// Where the program meets the desktop: what a copy puts on the clipboard,
// Qt's own texts in Italian, the desktop files passing their validators, and
// the window's identity under Wayland and X11. What the Debian package holds,
// and that the installed programs start, scripts/setup.sh checks.
#include "program.h"
#include "result_box.h"

#include <QAbstractFileIconProvider>
#include <QClipboard>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// An action of the context menu as a right click makes it now (the menu
// belongs to the box).
QAction *contextAction(QPlainTextEdit &box, const char *name)
{
    return box.createStandardContextMenu()->findChild<QAction *>(QLatin1String(name));
}

// A program started for one test, stopped by SIGTERM (then killed) however the test ends.
struct Started {
    QProcess process;
    // `vars` are NAME=value, added to this process's environment.
    Started(const QString &program, const QStringList &args, const QStringList &vars)
    {
        process.setEnvironment(QProcess::systemEnvironment() + vars); // the last of a name wins
        process.start(program, args);
    }
    ~Started()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill(), process.waitForFinished(5000);
    }
};

// Polls `ready` every 100 ms until it holds or 20 s have passed.
template <typename F> bool waitUntil(F ready)
{
    for (const QDeadlineTimer deadline(20000); !deadline.hasExpired(); QTest::qWait(100))
        if (ready())
            return true;
    return ready();
}

// The installed desktop entry's id and its StartupWMClass.
std::pair<QByteArray, QByteArray> desktopEntry()
{
    QFile file(QStringLiteral(GRAMISOLA_DESKTOP_ENTRY));
    file.open(QIODevice::ReadOnly);
    const QByteArray text = file.readAll();
    const qsizetype at = text.indexOf("\nStartupWMClass=") + 16;
    return {QFileInfo(file).completeBaseName().toUtf8(), text.mid(at, text.indexOf('\n', at) - at)};
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    // What main does first: Qt's own texts in Italian.
    void initTestCase() { SetUpProgram(); }

    void copyGivesTheGeneratedCharacters_data()
    {
        QTest::addColumn<QStringList>("pieces"); // appended one after another
        QTest::addColumn<int>("from");           // display positions; -1: select all
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("copied");
        auto all = [](const char *row, QStringList pieces, QString copied) {
            QTest::newRow(row) << pieces << -1 << -1 << copied;
        };
        // No-break space, tab, FF, VT, soft hyphen, zero-width space, the line
        // and paragraph separators, Qt's frame marks, NUL, C0 and C1 controls.
        const QString kept = u"a\u00A0b\t\f\v\u00AD\u200B\u2028\u2029\uFDD0\uFDD1"
                             u"\0\x01\x1B\x7F\u0080\u0085\u009F àèéìòù ÀÉÇ"_s;
        all("characters a copy must not change", {kept}, kept);
        all("a pair brought by two appends", {u"x\xD83D"_s, u"\xDE00y"_s}, u"x\U0001F600y"_s);
        all("lone surrogates become U+FFFD", {u"\xDC00\x61\xD800"_s}, u"\uFFFDa\uFFFD"_s);
        all("each break one LF, CR LF two", {u"ab\rc\r\nd\n"_s}, u"ab\nc\n\nd\n"_s);
        QTest::newRow("starts at a break") << QStringList{u"ab\rcd"_s} << 2 << 4 << u"\nc"_s;
        QTest::newRow("ends just past a break") << QStringList{u"ab\rcd"_s} << 1 << 3 << u"b\n"_s;
        QTest::newRow("break between separators")
            << QStringList{u"\u00A0\r\u2029"_s} << 0 << 3 << u"\u00A0\n\u2029"_s;
    }
    void copyGivesTheGeneratedCharacters()
    {
        QFETCH(QStringList, pieces);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, copied);
        ResultBox box;
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (const QString &piece : pieces)
            box.appendText(piece);
        // Nothing is dropped from the box's own text, and typing changes nothing.
        QTest::keyClicks(&box, u"xyz"_s);
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(box.text(), pieces.join(QString()).replace(u'\r', u"\r\n"_s));
        // Selected by keyboard, as a user does: Ctrl+A, or arrows from the start.
        QTest::keyClick(&box, from < 0 ? Qt::Key_A : Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < to; ++i)
            QTest::keyClick(&box, Qt::Key_Right, i < from ? Qt::NoModifier : Qt::ShiftModifier);
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection()) // what a middle click pastes under X11
            QCOMPARE(clipboard->text(QClipboard::Selection), copied);
        clipboard->clear();
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), copied);
        clipboard->clear();
        contextAction(box, "edit-copy")->trigger();
        QCOMPARE(clipboard->text(), copied);
        QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    }

    // Runs under LANG=C: the Italian comes from Qt's catalogue, not the system.
    void qtOwnTextsAreItalian()
    {
        ResultBox box;
        // One catalogue holds all of them, the file dialog's buttons too.
        QCOMPARE(contextAction(box, "edit-copy")->text(), u"&Copia\tCtrl+C"_s);
        // Left in English by Qt's catalogue, given by the program.
        QCOMPARE(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), u"Cartella"_s);
    }

    void waylandAppIdAndTitle()
    {
        const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
        if (weston.isEmpty())
            QSKIP("weston is not installed");
        QTemporaryDir runtime; // made private to the user, as XDG_RUNTIME_DIR must be
        const QString dir = "XDG_RUNTIME_DIR=" + runtime.path();
        Started compositor(weston, {"--backend=headless-backend.so", "--socket=gt"}, {dir});
        if (!waitUntil([&] { return QFile::exists(runtime.filePath("gt")); }))
            QSKIP(qPrintable("weston cannot start here: " +
                             compositor.process.readAllStandardError()));

        Started app(qEnvironmentVariable("GRAMISOLA_APP"), {},
                    {dir, "WAYLAND_DISPLAY=gt", "QT_QPA_PLATFORM=wayland", "WAYLAND_DEBUG=1"});
        QByteArray log; // up once the window is configured and drawn into
        QVERIFY2(waitUntil([&] {
                     return (log += app.process.readAllStandardError()).contains(".attach(");
                 }),
                 log.right(2000).constData());
        QVERIFY(log.contains("set_app_id(\"" + desktopEntry().first + "\")"));
        QVERIFY(log.contains("set_title(\"Gramisola\")"));
    }

    void x11ClassMatchesTheDesktopEntry()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
        if (xvfb.isEmpty() || xprop.isEmpty())
            QSKIP("Xvfb or xprop is not installed");
        // Xvfb picks a free display and writes its number.
        Started server(xvfb, {"-displayfd", "1", "-nolisten", "tcp"}, {});
        QByteArray number;
        if (!waitUntil(
                [&] { return (number += server.process.readAllStandardOutput()).endsWith('\n'); }))
            QSKIP(qPrintable("Xvfb cannot start here: " + server.process.readAllStandardError()));
        const QString display = ':' + QString::fromLatin1(number.trimmed());

        Started app(qEnvironmentVariable("GRAMISOLA_APP"), {},
                    {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"});
        QByteArray wmClass; // WM_CLASS(STRING) = "instance", "class": docks match the class
        QVERIFY(waitUntil([&] {
            QProcess query;
            query.start(xprop, {"-display", display, "-name", "Gramisola", "WM_CLASS"});
            query.waitForFinished(5000);
            return (wmClass = query.readAllStandardOutput().trimmed()).startsWith("WM_CLASS");
        }));
        QVERIFY2(wmClass.endsWith(", \"" + desktopEntry().second + '"'), wmClass.constData());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
