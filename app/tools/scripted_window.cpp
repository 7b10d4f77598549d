// gramisola-scripted: the program's main window driven by a list of steps,
// for screenshots and for tests that need a real process (closing mid-run
// must end it with status 0). Built with the tests, never installed; the
// program itself takes no arguments.
//
//   gramisola-scripted STEP...
//
// Steps run one after another from the event loop, 100 ms apart, starting
// 300 ms after the window is up:
//   file:<path>    chooses <path> as the file dialog would
//   exec, load, options, info, clear, button
//                  click cmdExec, cmdLoad, cmdOptions, cmdInfo, cmdClear, cmdClose
//   options-ok     clicks the options dialog's OK
//   order:<n>      selects order <n> (1..10)
//   text           appends two sample lines to the output box
//   menu           opens the output box's context menu
//   escape         closes the open menu, else the modal dialog on top
//   size:<w>x<h>   resizes the main window
//   wait           does nothing for one step
//   shot:<dir>/<prefix>
//                  writes <prefix>-<objectName>.png of every visible window
//   frame          closes the window as its frame's close box does
// An unknown step ends the program with status 2.

#include "file_selection.h"
#include "frm_gramisola.h"
#include "frm_opzioni.h"
#include "program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

constexpr int kSettleMs = 300;
constexpr int kStepMs = 100;

// Answers the next showing of the file dialog with one path.
class ScriptedFileDialog : public OpenFileDialog {
public:
    explicit ScriptedFileDialog(QString path) : m_path(std::move(path)) {}
    OpenFileOutcome showOpen(QWidget *, const OpenFileSettings &) override
    {
        return OpenFileOutcome::chosen(m_path);
    }

private:
    QString m_path;
};

void Click(QWidget *window, const QString &name)
{
    if (auto *button = window->findChild<QAbstractButton *>(name))
        button->click();
}

// Writes <prefix>-<objectName>.png of every visible window into `dir`.
bool SaveVisibleWindows(const QDir &dir, const QString &prefix)
{
    bool ok = true;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        const QString name = top->objectName().isEmpty()
                                 ? QString::fromLatin1(top->metaObject()->className())
                                 : top->objectName();
        const QString path = dir.filePath(prefix + u'-' + name + QStringLiteral(".png"));
        if (!top->grab().save(path)) {
            std::fprintf(stderr, "gramisola-scripted: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    return ok;
}

void PerformStep(frmGramisola *window, const QString &step)
{
    static const std::pair<const char *, const char *> clicks[] = {
        {"exec", "cmdExec"}, {"load", "cmdLoad"},   {"options", "cmdOptions"},
        {"info", "cmdInfo"}, {"clear", "cmdClear"}, {"button", "cmdClose"}};
    for (const auto &[word, name] : clicks)
        if (step == QLatin1String(word))
            return Click(window, QLatin1String(name));

    if (step == u"options-ok") {
        Click(window->optionsDialog(), QStringLiteral("cmdOK"));
    } else if (step.startsWith(u"order:")) {
        Click(window, QStringLiteral("optLevel_%1").arg(step.mid(6).toInt() - 1));
    } else if (step.startsWith(u"file:")) {
        window->setFileDialog(std::make_unique<ScriptedFileDialog>(step.mid(5)));
        Click(window, QStringLiteral("cmdLoad"));
    } else if (step == u"text") {
        window->AppendResult(
            QStringLiteral("Prova del carattere: perch\u00e9 citt\u00e0 pi\u00f9 cos\u00ec.\r"
                           "Seconda riga, che va a capo da sola quando \u00e8 troppo lunga per "
                           "la larghezza della casella, come questa che continua ancora un "
                           "poco oltre il bordo destro."));
    } else if (step == u"menu") {
        QWidget *viewport = window->findChild<QPlainTextEdit *>()->viewport();
        const QPoint at = viewport->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event); // returns when the menu closes
    } else if (step == u"escape") {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        else if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    } else if (step.startsWith(u"size:")) {
        const QStringList wh = step.mid(5).split(u'x');
        window->resize(wh.value(0).toInt(), wh.value(1).toInt());
    } else if (step == u"wait") {
        // one step's time passes
    } else if (step.startsWith(u"shot:")) {
        const QFileInfo target(step.mid(5));
        if (!SaveVisibleWindows(target.dir(), target.fileName()))
            QCoreApplication::exit(1);
    } else if (step == u"frame") {
        window->windowHandle()->close(); // the same request a window manager sends
    } else {
        std::fprintf(stderr, "gramisola-scripted: unknown step '%s'\n", qPrintable(step));
        QCoreApplication::exit(2);
    }
}

void RunSteps(frmGramisola *window, QStringList steps)
{
    if (steps.isEmpty())
        return;
    const QString step = steps.takeFirst();
    // The rest is scheduled first: a step may not return until a modal dialog
    // closes, and the next step is what closes it.
    QTimer::singleShot(kStepMs, window, [window, steps] { RunSteps(window, steps); });
    PerformStep(window, step);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpProgram();
    frmGramisola window;
    window.show();
    const QStringList steps = QApplication::arguments().mid(1);
    QTimer::singleShot(kSettleMs, &window, [w = &window, steps] { RunSteps(w, steps); });
    return QApplication::exec();
}
