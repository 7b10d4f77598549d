// Click to first piece of "Continua" in the real main window, offscreen, on
// varied text, each case in a fresh process so that its peak resident memory
// is its own: a first run ("first"), then, after a pause, a continuation with
// nothing changed ("same"), with the file touched (same bytes, new time;
// "touched"), with one byte of it changed ("changed"), with only the order
// changed from 4 ("order"), and with the order changed from 4, that
// continuation paused 1 s after its click and continued again ("paused");
// and the resident memory 2 s after another file is chosen when a run is
// paused ("afresh", against a fresh window's: "fresh"). Prints the median of
// three of each. The progress a first run shows on the way ("progress", by
// itself): when it first shows after the click, the longest time it goes
// without a change, whether it goes back within a stage, and whether it is
// gone with the first piece. Offscreen unless QT_QPA_PLATFORM says otherwise.
//   bench_window_continue MEGABYTES ORDER... [--baseline OTHER]
//                         with another build's bench_window_continue, its
//                         runs alternate with this one's on the same text,
//                         and each line gives both and their ratios
//   bench_window_continue --measure PATH CASE ORDER   one case (used by the above)
//   bench_window_continue --measure PATH progress ORDER

#include "bench_support.h"
#include "file_selection.h"
#include "frm_gramisola.h"
#include "result_box.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRepeats = 3;
const QStringList kCases = {QStringLiteral("first"),   QStringLiteral("same"),
                            QStringLiteral("touched"), QStringLiteral("changed"),
                            QStringLiteral("order"),   QStringLiteral("paused"),
                            QStringLiteral("fresh"),   QStringLiteral("afresh")};

// A dialog that chooses `path` at once.
class ChoosingDialog : public OpenFileDialog {
public:
    explicit ChoosingDialog(QString path) : m_path(std::move(path)) {}
    OpenFileOutcome showOpen(QWidget *, const OpenFileSettings &) override
    {
        return OpenFileOutcome::chosen(m_path);
    }

private:
    QString m_path;
};

double residentMiB()
{
    return double(ProcStatusKiB("VmRSS")) / 1024;
}

void runEventsFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Seconds from a click on cmdExec to the box growing past what it held then
// (the separator a continuation adds at the click included).
double clickToFirstPiece(frmGramisola &window)
{
    const auto *box = window.findChild<ResultBox *>(QStringLiteral("txtResult"));
    auto *exec = window.findChild<QPushButton *>(QStringLiteral("cmdExec"));
    const Stopwatch clock;
    const int before = box->textLength();
    exec->click();
    const int separator = box->textLength() > before ? box->textLength() : before;
    while (box->textLength() <= separator && clock.seconds() < 600)
        runEventsFor(0.001); // waits in the event loop: the worker keeps the core
    return clock.seconds();
}

void chooseOrder(frmGramisola &window, int order)
{
    window.findChild<QRadioButton *>(QStringLiteral("optLevel_%1").arg(order - 1))
        ->setChecked(true);
}

// Changes the middle byte of an ASCII letter to another letter, or back.
void flipOneByte(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        BenchFail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    qint64 at = file.size() / 2;
    char c = 0;
    for (;; ++at) {
        file.seek(at);
        if (!file.getChar(&c))
            BenchFail(QStringLiteral("%1: no letter to change").arg(path));
        if (c == 'a' || c == 'e')
            break;
    }
    file.seek(at);
    file.putChar(c == 'a' ? 'e' : 'a');
}

// The progress bar as a first run shows it, watched every few milliseconds.
int measureProgress(frmGramisola &window)
{
    const auto *bar = window.findChild<QProgressBar *>(QStringLiteral("prgPreparation"));
    const auto *box = window.findChild<ResultBox *>(QStringLiteral("txtResult"));
    const Stopwatch clock;
    window.findChild<QPushButton *>(QStringLiteral("cmdExec"))->click();
    double firstShown = -1, lastChange = 0, longestGap = 0;
    QString stage;
    int updates = 0, value = 0;
    bool wentBack = false;
    while (box->textLength() == 0 && clock.seconds() < 600) {
        runEventsFor(0.002);
        const double now = clock.seconds();
        if (!bar->isVisible() || (bar->accessibleName() == stage && bar->value() == value))
            continue;
        if (firstShown < 0)
            firstShown = lastChange = now;
        wentBack = wentBack || (bar->accessibleName() == stage && bar->value() < value);
        longestGap = std::max(longestGap, now - lastChange);
        lastChange = now;
        stage = bar->accessibleName();
        value = bar->value();
        ++updates;
    }
    const double firstPiece = clock.seconds();
    PrintJsonLine(
        QJsonObject{{"first_piece_s", firstPiece},
                    {"first_shown_s", firstShown},
                    {"updates", updates},
                    {"longest_without_change_s", std::max(longestGap, firstPiece - lastChange)},
                    {"went_back", wentBack},
                    {"shown_with_first_piece", bar->isVisible()}});
    return 0;
}

int measure(const QString &path, const QString &which, int order)
{
    frmGramisola window;
    window.show();
    if (which == u"fresh") {
        runEventsFor(2);
        PrintJsonLine(QJsonObject{{"resident_mib", residentMiB()}});
        return 0;
    }
    auto *exec = window.findChild<QPushButton *>(QStringLiteral("cmdExec"));
    window.findChild<QLineEdit *>(QStringLiteral("txtFilename"))->setText(path);
    const bool orderLater = which == u"order" || which == u"paused";
    chooseOrder(window, orderLater ? 4 : order);
    if (which == u"progress")
        return measureProgress(window);
    double seconds = clickToFirstPiece(window);
    if (which == u"afresh") {
        exec->click(); // pause
        window.setFileDialog(std::make_unique<ChoosingDialog>(path + QStringLiteral(".altro")));
        window.findChild<QPushButton *>(QStringLiteral("cmdLoad"))->click();
        runEventsFor(2);
        PrintJsonLine(QJsonObject{{"resident_mib", residentMiB()}});
        return 0;
    }
    if (which != u"first") {
        exec->click(); // pause
        runEventsFor(0.3);
        if (which == u"touched") {
            QFile file(path);
            if (!file.open(QIODevice::ReadWrite) ||
                !file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime))
                BenchFail(QStringLiteral("%1: cannot touch").arg(path));
        } else if (which == u"changed") {
            flipOneByte(path);
        } else if (orderLater) {
            chooseOrder(window, order);
        }
        if (which == u"paused") {
            exec->click(); // Continua
            runEventsFor(1);
            exec->click(); // Interrompi, into the index
            runEventsFor(0.3);
        }
        seconds = clickToFirstPiece(window);
        if (which == u"changed")
            flipOneByte(path); // the next measurement starts from the same text
    }
    PrintJsonLine(
        QJsonObject{{"seconds", seconds}, {"peak_mib", double(ProcStatusKiB("VmHWM")) / 1024}});
    return 0;
}

QJsonObject measureInChild(const QString &program, const QString &path, const QString &which,
                           int order)
{
    return MeasureInChild(program,
                          {QStringLiteral("--measure"), path, which, QString::number(order)});
}

// The median resident memory of this build and of the baseline, if any.
void addResidentMedians(QJsonObject &line, const QString &baseline,
                        const std::function<QJsonObject(const QString &)> &measure)
{
    std::vector<double> mine, base;
    for (int i = 0; i < kRepeats; ++i) {
        mine.push_back(measure(QCoreApplication::applicationFilePath())["resident_mib"].toDouble());
        if (!baseline.isEmpty())
            base.push_back(measure(baseline)["resident_mib"].toDouble());
    }
    line.insert("resident_mib", Median(mine));
    if (!baseline.isEmpty())
        line.insert("baseline_resident_mib", Median(base));
}

int run(qsizetype megabytes, const QList<int> &orders, const QString &baseline)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vario.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(BenchText(megabytes * 1'000'000).toUtf8()) < 0)
        BenchFail(QStringLiteral("cannot write the corpus"));
    file.close();
    for (int order : orders) {
        for (const QString &which : kCases) {
            if ((which == u"order" || which == u"paused") && order == 4)
                continue;
            QJsonObject line{{"benchmark", "window_continue"},
                             {"megabytes", double(megabytes)},
                             {"case", which},
                             {"order", order}};
            const auto inChild = [&](const QString &program) {
                return measureInChild(program, path, which, order);
            };
            if (which == u"fresh" || which == u"afresh")
                addResidentMedians(line, baseline, inChild);
            else
                AddSideBySideMedians(line, kRepeats, baseline, inChild);
            PrintJsonLine(line);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    if (args.size() == 4 && args[0] == QLatin1String("--measure")) {
        const int order = args[3].toInt(&ok);
        if (ok && order >= 1 && order <= 10 && (kCases.contains(args[2]) || args[2] == u"progress"))
            return measure(args[1], args[2], order);
    } else if (const std::optional<SideBySideArguments> parsed = ParseSideBySide(args)) {
        return run(parsed->megabytes, parsed->orders, parsed->baseline);
    }
    std::fprintf(stderr, "Uso: bench_window_continue MEGABYTES ORDINE... [--baseline ALTRO]\n"
                         "     bench_window_continue --measure PATH CASO ORDINE\n");
    return 2;
}
