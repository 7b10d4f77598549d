#include "memory_budget.h"

#include <QFile>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A whole small file (a /proc or cgroup file); nothing when it cannot be read.
// Read with the system calls: every index build asks, for several files.
std::optional<QByteArray> readSmallFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    ::close(fd);
    if (got < 0)
        return std::nullopt;
    return bytes;
}

// The number after `name` and white space at the start of a line of `text`,
// as in "MemAvailable:   1234 kB" or "inactive_file 4096".
std::optional<std::int64_t> field(const QByteArray &text, const QByteArray &name)
{
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray rest = line.mid(name.size());
        if (!line.startsWith(name) || rest.isEmpty() || (rest[0] != ' ' && rest[0] != '\t'))
            continue;
        bool ok = false;
        const qlonglong value = rest.simplified().split(' ').value(0).toLongLong(&ok);
        if (ok)
            return value;
    }
    return std::nullopt;
}

std::optional<std::int64_t> procKiB(const QString &path, const QByteArray &name)
{
    const std::optional<QByteArray> text = readSmallFile(path);
    const std::optional<std::int64_t> kib = text ? field(*text, name + ':') : std::nullopt;
    return kib ? std::optional<std::int64_t>(*kib * 1024) : std::nullopt;
}

// A cgroup file holding one number. "max" (v2) and the huge value v1 shows
// for no limit (about 2^63, rounded to pages) read as nothing.
std::optional<std::int64_t> cgroupNumber(const QString &path)
{
    constexpr std::int64_t kNoLimit = std::int64_t(1) << 60;
    const std::optional<QByteArray> text = readSmallFile(path);
    bool ok = false;
    const qlonglong value = text ? text->trimmed().toLongLong(&ok) : 0;
    if (!ok || value < 0 || value >= kNoLimit)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> smaller(std::optional<std::int64_t> a, std::optional<std::int64_t> b)
{
    if (a && b)
        return std::min(*a, *b);
    return a ? a : b;
}

// The files of one cgroup version's memory controller, and where it is mounted.
struct CgroupFiles {
    const char *mount;
    const char *limit;
    const char *usage;
    const char *inactiveFile; // in memory.stat: page cache the kernel reclaims first
};
constexpr CgroupFiles kCgroupV2{"sys/fs/cgroup", "memory.max", "memory.current", "inactive_file"};
constexpr CgroupFiles kCgroupV1{"sys/fs/cgroup/memory", "memory.limit_in_bytes",
                                "memory.usage_in_bytes", "total_inactive_file"};

// The least room left under the memory limits of the process's cgroup and of
// every cgroup above it, up to the mount's root: a limit anywhere on the way
// holds the process too. A container without its own cgroup namespace shows
// the host's path, which its mount does not have; the levels that are missing
// are passed over and the mount's root, the container's own cgroup, counts.
// The memory used counts without the page cache the kernel gives back first,
// so that files read earlier do not make the room look smaller than it is.
std::optional<std::int64_t> cgroupRoom(const QString &root)
{
    const std::optional<QByteArray> membership =
        readSmallFile(root + QLatin1String("/proc/self/cgroup"));
    if (!membership)
        return std::nullopt;
    // Lines "id:controllers:path". A v1 memory controller wins over the v2
    // line, which on a hybrid system holds no memory controller.
    const CgroupFiles *files = nullptr;
    QString path;
    for (const QByteArray &line : membership->split('\n')) {
        const qsizetype first = line.indexOf(':');
        const qsizetype second = line.indexOf(':', first + 1);
        if (first < 0 || second < 0)
            continue;
        const QByteArray controllers = line.mid(first + 1, second - first - 1);
        if (controllers.split(',').contains("memory")) {
            files = &kCgroupV1;
            path = QString::fromUtf8(line.mid(second + 1));
            break;
        }
        if (line.startsWith("0::")) {
            files = &kCgroupV2;
            path = QString::fromUtf8(line.mid(second + 1));
        }
    }
    if (!files)
        return std::nullopt;

    std::optional<std::int64_t> room;
    const QString mount = root + u'/' + QLatin1String(files->mount);
    for (QString level = path;; level.truncate(std::max<qsizetype>(0, level.lastIndexOf(u'/')))) {
        const QString dir = mount + level + u'/';
        if (const std::optional<std::int64_t> limit =
                cgroupNumber(dir + QLatin1String(files->limit))) {
            std::int64_t used = cgroupNumber(dir + QLatin1String(files->usage)).value_or(0);
            if (const std::optional<QByteArray> stat =
                    readSmallFile(dir + QLatin1String("memory.stat")))
                used -= std::min(used, field(*stat, files->inactiveFile).value_or(0));
            const std::int64_t left = std::max<std::int64_t>(0, *limit - used);
            room = smaller(room, left);
        }
        if (level.isEmpty() || level == u"/")
            break;
    }
    return room;
}

// "95,4 MB": sizes as the user reads them (in millions, as file managers
// show them).
QString megabytes(double bytes)
{
    return QString::number(bytes / 1e6, 'f', 1).replace(u'.', u',') + QStringLiteral(" MB");
}

} // namespace

std::optional<std::int64_t> AvailableMemoryBytes(const QString &root)
{
    std::optional<std::int64_t> available =
        procKiB(root + QLatin1String("/proc/meminfo"), "MemAvailable");
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::int64_t used =
            procKiB(root + QLatin1String("/proc/self/status"), "VmSize").value_or(0);
        available =
            smaller(available, std::max<std::int64_t>(0, std::int64_t(limit.rlim_cur) - used));
    }
    return smaller(available, cgroupRoom(root));
}

Error NotEnoughMemory(qsizetype characters, int order, std::optional<std::int64_t> neededBytes,
                      std::optional<std::int64_t> availableBytes)
{
    const auto shown = [](std::optional<std::int64_t> bytes) {
        return bytes ? QString::number(*bytes) : QStringLiteral("?");
    };
    return Error{QStringLiteral("Memoria insufficiente per generare all'ordine %1 da un testo di "
                                "%2. Scegliere un ordine più basso o un file più piccolo.")
                     .arg(order)
                     .arg(megabytes(double(characters))),
                 QStringLiteral("%1 characters, order %2: %3 bytes needed, %4 available")
                     .arg(characters)
                     .arg(order)
                     .arg(shown(neededBytes), shown(availableBytes))};
}

Status CheckMemoryFor(qsizetype characters, int order, std::int64_t neededBytes,
                      const QString &root)
{
    const std::optional<std::int64_t> available = AvailableMemoryBytes(root);
    if (available && neededBytes > *available)
        return NotEnoughMemory(characters, order, neededBytes, available);
    return Done{};
}

void ReturnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
