// How long closing the main window waits for a preparation under way: the
// real window, offscreen, is destroyed at several moments while it reads,
// prepares and indexes a large varied text at order 10, as the program
// destroys it when its window closes. Prints, per moment, the seconds the
// destruction took, then the longest of them.
//   bench_window_close [MEGABYTES]   (default 100)
//   bench_window_close --one-context  127 Mi of "a", then 1 MB of the text:
//                                    one context holds most positions

#include "bench_support.h"
#include "frm_gramisola.h"
#include "result_box.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

constexpr int kOrder = 10;

void runEventsFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<frmGramisola> startRun(const QString &path)
{
    auto window = std::make_unique<frmGramisola>();
    window->show();
    window->findChild<QLineEdit *>(QStringLiteral("txtFilename"))->setText(path);
    window->findChild<QRadioButton *>(QStringLiteral("optLevel_%1").arg(kOrder - 1))
        ->setChecked(true);
    window->findChild<QPushButton *>(QStringLiteral("cmdExec"))->click();
    return window;
}

// Seconds from the click to the first generated character.
double secondsToFirstPiece(const QString &path)
{
    const Stopwatch clock;
    const std::unique_ptr<frmGramisola> window = startRun(path);
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
    const bool oneContext = argc > 1 && QByteArray(argv[1]) == "--one-context";
    const qsizetype megabytes = oneContext ? 1 : argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("testo.txt")));
    const QByteArray many(oneContext ? qsizetype(127) << 20 : 0, 'a');
    if (megabytes <= 0 || !file.open(QIODevice::WriteOnly) || file.write(many) < 0 ||
        file.write(BenchText(megabytes * 1'000'000).toUtf8()) < 0)
        BenchFail(QStringLiteral("cannot write the corpus"));
    file.close();

    const double prepared = secondsToFirstPiece(file.fileName());
    PrintJsonLine({{"benchmark", "window_close"},
                   {"text_characters", many.size() + megabytes * 1'000'000},
                   {"order", kOrder},
                   {"click_to_first_piece_s", prepared}});
    // Moments spread over the whole preparation: reading, the preparation
    // steps, the index, and just before the first piece.
    double longest = 0;
    for (const double share :
         {0.0, 0.02, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.97}) {
        std::unique_ptr<frmGramisola> window = startRun(file.fileName());
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
