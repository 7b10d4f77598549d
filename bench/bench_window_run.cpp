// A run of the real main window, offscreen, from the click to the full box:
// total time, pieces per second over the first and the last tenth of the
// box, and the longest time the window went without handling events.
// Compares a 10 MB text at order 2 with a 10 KB text at order 10.

#include "bench_support.h"
#include "frm_gramisola.h"
#include "frm_opzioni.h"
#include "result_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

namespace {

struct Sample {
    double seconds;
    int length;
};

// Time from `samples` at which the box first reached `length`.
double timeAt(const std::vector<Sample> &samples, int length)
{
    for (const Sample &s : samples)
        if (s.length >= length)
            return s.seconds;
    return samples.back().seconds;
}

QJsonObject runOnce(const QString &path, int order, bool ignoreLineBreaks)
{
    frmGramisola window;
    window.show();
    auto *box = window.findChild<ResultBox *>(QStringLiteral("txtResult"));
    auto *exec = window.findChild<QPushButton *>(QStringLiteral("cmdExec"));
    window.findChild<QLineEdit *>(QStringLiteral("txtFilename"))->setText(path);
    window.findChild<QRadioButton *>(QStringLiteral("optLevel_%1").arg(order - 1))
        ->setChecked(true);
    window.optionsDialog()
        ->findChild<QCheckBox *>(QStringLiteral("chkACapo"))
        ->setChecked(ignoreLineBreaks);

    // A fine-grained timer: the gap between two of its ticks is how long the
    // window could not handle an event. It also sees the first piece arrive
    // and the run end by itself (the caption back to "Esegui").
    std::vector<Sample> samples;
    double longestGap = 0;
    double lastTick = 0;
    double firstPiece = 0;
    Stopwatch clock;
    QTimer ticker;
    ticker.setInterval(1);
    QEventLoop loop;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.seconds();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        const int length = box->textLength();
        samples.push_back({now, length});
        if (firstPiece == 0 && length > 0)
            firstPiece = now;
        if (exec->text() == u"Esegui")
            loop.quit();
    });
    ticker.start();
    exec->click();
    loop.exec();
    const double total = clock.seconds();
    ticker.stop();
    samples.push_back({total, box->textLength()});

    const int max = box->MaxLength();
    const int tenth = max / 10;
    const double firstTenth = timeAt(samples, tenth) - firstPiece;
    const double lastTenth = total - timeAt(samples, max - tenth);
    return QJsonObject{
        {"order", order},
        {"line_breaks_ignored", ignoreLineBreaks},
        {"click_to_first_piece_s", firstPiece},
        {"click_to_full_box_s", total},
        {"chars_per_s_first_tenth", tenth / firstTenth},
        {"chars_per_s_last_tenth", tenth / lastTenth},
        {"last_over_first_tenth_speed", firstTenth / lastTenth},
        {"longest_event_gap_ms", longestGap * 1000},
    };
}

QString writeCorpus(QTemporaryDir &dir, qsizetype characters)
{
    QFile file(dir.filePath(QStringLiteral("testo-%1.txt").arg(characters)));
    if (!file.open(QIODevice::WriteOnly) || file.write(BenchText(characters).toUtf8()) < 0)
        BenchFail(QStringLiteral("cannot write the corpus"));
    return file.fileName();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString large = writeCorpus(dir, 10'000'000);
    const QString small = writeCorpus(dir, 10'000);

    const QJsonObject bigRun = runOnce(large, 2, false);
    const QJsonObject smallRun = runOnce(small, 10, false);
    PrintJsonLine({{"benchmark", "window_run"}, {"text_characters", 10'000'000}, {"run", bigRun}});
    PrintJsonLine({{"benchmark", "window_run"}, {"text_characters", 10'000}, {"run", smallRun}});
    PrintJsonLine(
        {{"benchmark", "window_run_ratio"},
         {"full_box_time_10MB_order2_over_10KB_order10",
          bigRun["click_to_full_box_s"].toDouble() / smallRun["click_to_full_box_s"].toDouble()},
         {"target_at_most", 1.25}});
    // One long paragraph: every insertion lays the paragraph out again.
    PrintJsonLine({{"benchmark", "window_run"},
                   {"text_characters", 10'000},
                   {"run", runOnce(small, 10, true)}});
    return 0;
}
