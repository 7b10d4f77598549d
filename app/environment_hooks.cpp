#include "environment_hooks.h"

#include "frm_gramisola.h"
#include "frm_opzioni.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

// Long enough for a window system to map a window or apply a resize.
constexpr int kSettleMs = 300;
constexpr int kStepMs = 100;

bool SaveGrab(QWidget *window, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    if (window->grab().save(path))
        return true;
    std::fprintf(stderr, "gramisola: cannot write %s\n", qPrintable(path));
    return false;
}

// Writes <prefix>-<objectName>.png of every visible window into `dir`.
void SaveVisibleWindows(const QDir &dir, const QString &prefix)
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->isVisible())
            SaveGrab(top, dir, prefix + u'-' + top->objectName());
}

void TakeScreenshots(frmGramisola *window, const QDir &dir)
{
    QTimer::singleShot(kSettleMs, window, [window, dir] {
        bool ok = true;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->isVisible())
                ok = SaveGrab(top, dir,
                              top->objectName().isEmpty()
                                  ? QString::fromLatin1(top->metaObject()->className())
                                  : top->objectName()) &&
                     ok;
        // Some text, so that the picture shows the output box's font and breaks.
        window->AppendResult(
            QStringLiteral("Prova del carattere: perch\u00e9 citt\u00e0 "
                           "pi\u00f9 cos\u00ec.\rSeconda riga, "
                           "che va a capo da sola quando \u00e8 troppo "
                           "lunga per la larghezza della casella, come questa che continua ancora "
                           "un poco oltre il bordo destro."));
        window->resize(1000, 640);
        QTimer::singleShot(kSettleMs, window, [window, dir, ok] {
            const bool enlarged = SaveGrab(window, dir, QStringLiteral("frmGramisola-enlarged"));
            window->close();
            if (!ok || !enlarged)
                QCoreApplication::exit(1);
        });
    });
}

void PerformStep(frmGramisola *window, const QString &step)
{
    if (step == u"info")
        window->cmdInfo->click();
    else if (step == u"options")
        window->cmdOptions->click();
    else if (step == u"options-ok")
        window->optionsDialog()->cmdOK->click();
    else if (step.startsWith(u"file:"))
        window->setSourceFile(step.mid(5));
    else if (step == u"exec")
        window->cmdExec->click();
    else if (step == u"wait")
        ; // one step's time passes
    else if (step.startsWith(u"shot:"))
        SaveVisibleWindows(QFileInfo(step.mid(5)).dir(), QFileInfo(step.mid(5)).fileName());
    else if (step == u"button")
        window->cmdClose->click();
    else if (step == u"frame")
        window->windowHandle()->close(); // the same request a window manager sends
    else {
        std::fprintf(stderr, "gramisola: unknown GRAMISOLA_TEST_AUTOCLOSE step '%s'\n",
                     qPrintable(step));
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

bool InstallEnvironmentHooks(frmGramisola &window)
{
    const QString screenshotDir = qEnvironmentVariable("GRAMISOLA_SCREENSHOT_DIR");
    if (!screenshotDir.isEmpty()) {
        const QDir dir(screenshotDir);
        if (!dir.exists()) {
            std::fprintf(stderr, "gramisola: no such directory %s\n", qPrintable(screenshotDir));
            return false;
        }
        TakeScreenshots(&window, dir);
    }
    const QString steps = qEnvironmentVariable("GRAMISOLA_TEST_AUTOCLOSE");
    if (!steps.isEmpty()) {
        QTimer::singleShot(kSettleMs, &window, [w = &window, steps] {
            RunSteps(w, steps.split(u',', Qt::SkipEmptyParts));
        });
    }
    return true;
}
