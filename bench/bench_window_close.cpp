// How long closing the main window waits for a preparation under way: the
// real window, offscreen, is destroyed at several moments while it reads,
// prepares and indexes a large varied text, as the program destroys it when
// its window closes. Prints, per moment, the seconds the destruction took,
// then the longest of them.
//   bench_window_close [--script latin|cyrillic|ideographs] [--order N]
//                      [--all-options] [MEGABYTES]
//                      a text of that many megabytes (default 100) in that
//                      script (default latin), at that order (default 10),
//                      with the options off or all five on
//   bench_window_close --one-context  127 Mi of "a", then 1 MB of the text:
//                                    one context holds most positions

#include "bench_support.h"
#include "frm_gramisola.h"
#include "result_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

struct Settings {
    QString scriptName = QStringLiteral("latin");
    Script script = Script::Latin;
    int order = 10;
    bool allOptions = false;
    qsizetype megabytes = 100;
    bool oneContext = false;
};

std::optional<Settings> parse(QStringList args)
{
    Settings settings;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        bool ok = true;
        if (arg == QLatin1String("--one-context")) {
            settings.oneContext = true;
            settings.megabytes = 1;
        } else if (arg == QLatin1String("--all-options")) {
            settings.allOptions = true;
        } else if (arg == QLatin1String("--script") && !args.isEmpty()) {
            settings.scriptName = args.takeFirst();
            const std::optional<Script> script = ScriptNamed(settings.scriptName);
            ok = script.has_value();
            settings.script = script.value_or(Script::Latin);
        } else if (arg == QLatin1String("--order") && !args.isEmpty()) {
            settings.order = args.takeFirst().toInt(&ok);
            ok = ok && settings.order >= 1 && settings.order <= 10;
        } else {
            settings.megabytes = arg.toLongLong(&ok);
            ok = ok && settings.megabytes > 0;
        }
        if (!ok)
            return std::nullopt;
    }
    return settings;
}

void runEventsFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Checks every box of the options dialog, as the user would, and closes it.
void setAllOptions(frmGramisola &window)
{
    QTimer::singleShot(0, &window, [&window] {
        auto *dialog = window.findChild<QDialog *>(QStringLiteral("frmOpzioni"));
        for (QCheckBox *box : dialog->findChildren<QCheckBox *>())
            box->setChecked(true);
        dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("cmdOptions"))->click();
}

std::unique_ptr<frmGramisola> startRun(const QString &path, const Settings &settings)
{
    auto window = std::make_unique<frmGramisola>();
    window->show();
    if (settings.allOptions)
        setAllOptions(*window);
    window->findChild<QLineEdit *>(QStringLiteral("txtFilename"))->setText(path);
    window->findChild<QRadioButton *>(QStringLiteral("optLevel_%1").arg(settings.order - 1))
        ->setChecked(true);
    window->findChild<QPushButton *>(QStringLiteral("cmdExec"))->click();
    return window;
}

// Seconds from the click to the first generated character.
double secondsToFirstPiece(const QString &path, const Settings &settings)
{
    const Stopwatch clock;
    const std::unique_ptr<frmGramisola> window = startRun(path, settings);
    const auto *box = window->findChild<ResultBox *>(QStringLiteral("txtResult"));
    while (box->textLength() == 0)
        runEventsFor(0.01);
    return clock.seconds();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::optional<Settings> settings = parse(app.arguments().mid(1));
    if (!settings) {
        std::fprintf(stderr, "Uso: bench_window_close [--script latin|cyrillic|ideographs] "
                             "[--order N] [--all-options] [MEGABYTES]\n"
                             "     bench_window_close --one-context\n");
        return 2;
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("testo.txt")));
    const QByteArray many(settings->oneContext ? qsizetype(127) << 20 : 0, 'a');
    const QByteArray text = BenchText(settings->script, settings->megabytes * 1'000'000).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(many) < 0 || file.write(text) < 0)
        BenchFail(QStringLiteral("cannot write the corpus"));
    file.close();

    const double prepared = secondsToFirstPiece(file.fileName(), *settings);
    PrintJsonLine({{"benchmark", "window_close"},
                   {"file_bytes", double(many.size() + text.size())},
                   {"script", settings->scriptName},
                   {"order", settings->order},
                   {"all_options", settings->allOptions},
                   {"click_to_first_piece_s", prepared}});
    // Moments spread over the whole preparation: reading, the preparation
    // steps, the index, and just before the first piece.
    double longest = 0;
    for (const double share :
         {0.0, 0.02, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.97}) {
        std::unique_ptr<frmGramisola> window = startRun(file.fileName(), *settings);
        runEventsFor(share * prepared);
        const Stopwatch clock;
        window.reset();
        const double closing = clock.seconds();
        longest = std::max(longest, closing);
        PrintJsonLine({{"benchmark", "window_close"},
                       {"closed_after_s", share * prepared},
                       {"close_s", closing}});
    }
    PrintJsonLine(
        {{"benchmark", "window_close_longest"}, {"close_s", longest}, {"target_at_most", 0.3}});
    return 0;
}
