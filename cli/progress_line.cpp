#include "progress_line.h"

#include "text_file.h"

#include <chrono>
#include <cstdio>

#include <unistd.h>

namespace {

// Shown once the preparation has taken this long, then rewritten this often:
// often enough to look alive, seldom enough to cost nothing.
constexpr auto kFirstShown = std::chrono::seconds(1);
constexpr auto kRewritten = std::chrono::milliseconds(150);

// Back to the start of the line, and the rest of it cleared: what comes after
// (a shorter line, the text, an error) starts on a clean line.
constexpr char kReturn[] = "\r";
constexpr char kClearToEnd[] = "\033[K";

QString lineText(const StageProgress &progress, bool fromStandardInput)
{
    const bool reading = progress.stage == RunStage::Reading;
    const QString name = reading && fromStandardInput
                             ? QStringLiteral("Lettura dello standard input")
                             : RunStageName(progress.stage);
    if (progress.work > 0)
        return QStringLiteral("%1: %2%").arg(name).arg(int(progress.fraction() * 100));
    // Work not known beforehand: standard input, or a file that tells no
    // size (under /proc). A stage with nothing to count shows its name.
    if (reading)
        return QStringLiteral("%1: %2").arg(name, FileSizeText(progress.done));
    return name;
}

} // namespace

ProgressLine::ProgressLine(const Cancellation &stages, bool fromStandardInput)
    : m_stages(stages), m_fromStandardInput(fromStandardInput)
{
    if (::isatty(STDERR_FILENO))
        m_thread = std::thread(&ProgressLine::watch, this);
}

ProgressLine::~ProgressLine()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
    if (m_shown) {
        std::fputs(kReturn, stderr);
        std::fputs(kClearToEnd, stderr);
    }
}

void ProgressLine::watch()
{
    std::unique_lock lock(m_lock);
    const auto stopping = [this] { return m_stopping; };
    if (m_wake.wait_for(lock, kFirstShown, stopping))
        return;
    QByteArray written;
    do {
        const std::optional<StageProgress> progress = m_stages.progress();
        if (!progress)
            continue;
        const QByteArray line =
            kReturn + lineText(*progress, m_fromStandardInput).toLocal8Bit() + kClearToEnd;
        if (line == written)
            continue;
        std::fputs(line.constData(), stderr);
        written = line;
        m_shown = true;
    } while (!m_wake.wait_for(lock, kRewritten, stopping));
}
