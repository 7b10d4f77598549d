// Where the program meets the desktop: what a copy puts on the clipboard,
// Qt's own texts in Italian, and the window's identity under Wayland and X11.
#include "frm_info.h"
#include "qt_translations.h"
#include "result_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QAction *contextAction(QMenu &menu, const char *name)
{
    for (QAction *action : menu.actions())
        if (action->objectName() == QLatin1String(name))
            return action;
    return nullptr;
}

// A helper program that is stopped by SIGTERM (then killed) however the test ends.
struct Started {
    QProcess process;
    ~Started()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill(), process.waitForFinished(5000);
    }
};

// Polls `ready` every 100 ms until it holds or 20 s have passed.
template <typename F> bool waitUntil(F ready)
{
    const QDeadlineTimer deadline(20000);
    for (; !deadline.hasExpired(); QTest::qWait(100))
        if (ready())
            return true;
    return ready();
}

// The installed desktop entry's id and its StartupWMClass.
std::pair<QString, QString> desktopEntry()
{
    QFile file(QStringLiteral(GRAMISOLA_DESKTOP_ENTRY));
    file.open(QIODevice::ReadOnly);
    QString wmClass;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith("StartupWMClass="))
            wmClass = QString::fromUtf8(line.mid(15));
    return {QFileInfo(file.fileName()).completeBaseName(), wmClass};
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    // What main does first: Qt's own texts in Italian.
    void initTestCase() { QVERIFY(InstallQtItalian()); }

    void copyGivesTheGeneratedCharacters_data()
    {
        QTest::addColumn<QStringList>("pieces"); // appended one after another
        QTest::addColumn<int>("from");           // display positions; -1: select all
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("copied");
        auto all = [](const char *row, QStringList pieces, QString copied) {
            QTest::newRow(row) << pieces << -1 << -1 << copied;
        };
        all("non-breaking space stays", {u"a\u00A0b"_qs}, u"a\u00A0b"_qs);
        all("tab, form feed, vertical tab", {u"\t\f\v."_qs}, u"\t\f\v."_qs);
        all("line and paragraph separators stay", {u"a\u2028b\u2029c"_qs}, u"a\u2028b\u2029c"_qs);
        all("soft hyphen, zero-width space", {u"x\u00ADy\u200Bz"_qs}, u"x\u00ADy\u200Bz"_qs);
        all("NUL and C0 controls", {u"\0\x01\x1B\x1F\x7F"_qs}, u"\0\x01\x1B\x1F\x7F"_qs);
        all("C1 controls", {u"\u0080\u0085\u009F"_qs}, u"\u0080\u0085\u009F"_qs);
        all("Qt's frame marks are characters too", {u"\uFDD0\uFDD1"_qs}, u"\uFDD0\uFDD1"_qs);
        all("accented letters", {u"àèéìòù ÀÉÇ"_qs}, u"àèéìòù ÀÉÇ"_qs);
        all("a pair brought by two appends", {u"x\xD83D"_qs, u"\xDE00y"_qs}, u"x\U0001F600y"_qs);
        all("lone surrogates become U+FFFD", {u"\xDC00" u"a\xD800"_qs}, u"\uFFFDa\uFFFD"_qs);
        all("each break one LF", {u"ab\rcd\n"_qs}, u"ab\ncd\n"_qs);
        all("CR LF makes two breaks", {u"a\r\nb"_qs}, u"a\n\nb"_qs);
        QTest::newRow("starts at a break") << QStringList{u"ab\rcd"_qs} << 2 << 4 << u"\nc"_qs;
        QTest::newRow("ends just past a break") << QStringList{u"ab\rcd"_qs} << 1 << 3 << u"b\n"_qs;
        QTest::newRow("inside, beside NBSP") << QStringList{u"\u00A0\r\u2029"_qs} << 0 << 3 << u"\u00A0\n\u2029"_qs;
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
        // Nothing is dropped from the box's own text.
        QCOMPARE(box.text(), pieces.join(QString()).replace(u'\r', u"\r\n"_qs));
        // The context menu as a right click makes it, for the selection of the moment.
        auto menu = [&] { return std::unique_ptr<QMenu>(box.createStandardContextMenu()); };
        if (from < 0) {
            QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        } else {
            QTest::keyClick(&box, Qt::Key_Home, Qt::ControlModifier);
            for (int i = 0; i < to; ++i)
                QTest::keyClick(&box, Qt::Key_Right, i < from ? Qt::NoModifier : Qt::ShiftModifier);
        }
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection()) // what a middle click pastes under X11
            QCOMPARE(clipboard->text(QClipboard::Selection), copied);
        clipboard->clear();
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), copied);
        clipboard->clear();
        contextAction(*menu(), "edit-copy")->trigger();
        QCOMPARE(clipboard->text(), copied);
        QCOMPARE(clipboard->mimeData()->formats(), QStringList{"text/plain"});
    }

    void aboutTextCopiesAsShown()
    {
        frmInfo *info = frmInfo::showInfo();
        std::unique_ptr<QMenu> menu(info->txtInfo->createStandardContextMenu());
        contextAction(*menu, "select-all")->trigger();
        menu.reset(info->txtInfo->createStandardContextMenu());
        contextAction(*menu, "edit-copy")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), frmInfo::aboutText().replace(u"\r\n"_qs, u"\n"_qs));
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
        info->close();
    }

    // Runs under LANG=C: the Italian comes from Qt's catalogue, not the system.
    void qtOwnTextsAreItalian()
    {
        ResultBox box;
        std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
        QCOMPARE(contextAction(*menu, "edit-copy")->text(), u"&Copia\tCtrl+C"_qs);
        QFileDialog dialog(nullptr, QString(), QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), u"Annulla"_qs);
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), u"&Apri"_qs);
    }

    void waylandAppIdAndTitle()
    {
        const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
        if (weston.isEmpty())
            QSKIP("weston is not installed");
        QTemporaryDir runtime; // XDG_RUNTIME_DIR must be private to the user
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        Started compositor;
        compositor.process.setProcessEnvironment(env);
        compositor.process.setProcessChannelMode(QProcess::MergedChannels);
        compositor.process.start(weston, {"--backend=headless-backend.so", "--socket=gramisola-test",
                                          "--idle-time=0"});
        if (!waitUntil([&] { return QFile::exists(runtime.filePath("gramisola-test")); }))
            QSKIP(qPrintable("weston cannot start here: " + compositor.process.readAll()));

        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("gramisola-test"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("1"));
        Started app;
        app.process.setProcessEnvironment(env);
        app.process.start(qEnvironmentVariable("GRAMISOLA_APP"), {});
        QVERIFY(app.process.waitForStarted());
        QByteArray log;
        // Up once the compositor has configured the window and the program has
        // drawn into it.
        QVERIFY2(waitUntil([&] {
                     log += app.process.readAllStandardError();
                     return log.contains("ack_configure") && log.contains(".attach(");
                 }),
                 log.right(2000).constData());
        const QString appId = desktopEntry().first;
        QVERIFY2(log.contains("set_app_id(\"" + appId.toUtf8() + "\")"), qPrintable(appId));
        QVERIFY(log.contains("set_title(\"Gramisola\")"));
        app.process.terminate();
        QVERIFY(app.process.waitForFinished(10000));
    }

    void x11ClassMatchesTheDesktopEntry()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
        if (xvfb.isEmpty() || xprop.isEmpty())
            QSKIP("Xvfb or xprop is not installed");
        Started server; // picks a free display and writes its number
        server.process.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        QByteArray number;
        if (!waitUntil([&] { return (number += server.process.readAllStandardOutput()).endsWith('\n'); }))
            QSKIP(qPrintable("Xvfb cannot start here: " + server.process.readAllStandardError()));
        const QString display = ':' + QString::fromLatin1(number.trimmed());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        Started app;
        app.process.setProcessEnvironment(env);
        app.process.start(qEnvironmentVariable("GRAMISOLA_APP"), {});
        QVERIFY(app.process.waitForStarted());
        QByteArray wmClass;
        QVERIFY(waitUntil([&] {
            QProcess query;
            query.start(xprop, {"-display", display, "-name", "Gramisola", "WM_CLASS"});
            query.waitForFinished(5000);
            wmClass = query.readAllStandardOutput().trimmed();
            return query.exitCode() == 0 && wmClass.startsWith("WM_CLASS");
        }));
        // WM_CLASS(STRING) = "instance", "class": docks match the class.
        QVERIFY2(wmClass.endsWith(", \"" + desktopEntry().second.toUtf8() + '"'), wmClass.constData());
        QVERIFY(!desktopEntry().second.isEmpty());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
