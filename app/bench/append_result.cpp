// How much one AppendResult costs as the output box fills. Prints one JSON
// object per line: mode, box length at which it was measured, ms per append.
//   QT_QPA_PLATFORM=offscreen bench-append-result
// Modes: "append" (AppendResult alone), "append+paint" (then repaint the
// window and process events, as a run does per piece), each on text with line
// breaks and on one long paragraph.
#include "frm_gramisola.h"
#include "result_box.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// Italian-like text made up here: words from a small list, a CR every few words.
QString MakeText(int length, bool lineBreaks)
{
    static const char *words[] = {"la",     "casa",  "del",  "mare",   "sotto", "il",
                                  "cielo",  "verde", "come", "sempre", "una",   "volta",
                                  "perché", "città", "più",  "nostro", "vento", "sera"};
    QString text;
    unsigned state = 12345;
    int inLine = 0;
    while (text.size() < length) {
        state = state * 1103515245u + 12345u;
        text += QString::fromUtf8(words[(state >> 16) % (sizeof words / sizeof *words)]);
        if (lineBreaks && ++inLine == 9) {
            text += u'\r';
            inLine = 0;
        } else {
            text += u' ';
        }
    }
    text.truncate(length);
    return text;
}

double MsPerAppend(frmGramisola &window, const QString &text, int from, int count, bool paint)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = from; i < from + count; ++i) {
        window.AppendResult(text.mid(i, 1));
        if (paint) {
            window.repaint();
            QCoreApplication::processEvents();
        }
    }
    return double(timer.nsecsElapsed()) / 1e6 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    constexpr int kCount = 500;
    for (bool lineBreaks : {true, false}) {
        for (bool paint : {false, true}) {
            for (int at : {1000, 60000}) {
                frmGramisola window;
                window.show();
                QCoreApplication::processEvents();
                const QString text = MakeText(at + kCount, lineBreaks);
                // Fill up to the measuring point in large pieces, then time
                // single characters, the size of a generated piece.
                window.AppendResult(text.left(at));
                QCoreApplication::processEvents();
                const int lengthBefore = window.txtResult->textLength();
                const double ms = MsPerAppend(window, text, at, kCount, paint);
                std::printf("{\"bench\":\"append_result\",\"mode\":\"%s\",\"line_breaks\":%s,"
                            "\"length\":%d,\"appends\":%d,\"ms_per_append\":%.4f}\n",
                            paint ? "append+paint" : "append", lineBreaks ? "true" : "false",
                            lengthBefore, kCount, ms);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
