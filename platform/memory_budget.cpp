#include "memory_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A "Name:   1234 kB" line of a /proc file, in bytes.
std::optional<std::int64_t> procKiB(const char *path, const char *name)
{
    std::FILE *file = std::fopen(path, "r");
    if (!file)
        return std::nullopt;
    std::optional<std::int64_t> bytes;
    char line[256];
    const size_t nameLength = std::strlen(name);
    while (!bytes && std::fgets(line, sizeof line, file)) {
        long long kib = 0;
        if (std::strncmp(line, name, nameLength) == 0 && line[nameLength] == ':' &&
            std::sscanf(line + nameLength + 1, "%lld", &kib) == 1)
            bytes = std::int64_t(kib) * 1024;
    }
    std::fclose(file);
    return bytes;
}

// "95,4 MB": sizes as the user reads them (in millions, as file managers
// show them).
QString megabytes(double bytes)
{
    return QString::number(bytes / 1e6, 'f', 1).replace(u'.', u',') + QStringLiteral(" MB");
}

} // namespace

std::optional<std::int64_t> AvailableMemoryBytes()
{
    std::optional<std::int64_t> available = procKiB("/proc/meminfo", "MemAvailable");
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::int64_t used = procKiB("/proc/self/status", "VmSize").value_or(0);
        const std::int64_t left = std::max<std::int64_t>(0, std::int64_t(limit.rlim_cur) - used);
        available = available ? std::min(*available, left) : left;
    }
    return available;
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

Status CheckMemoryFor(qsizetype characters, int order, std::int64_t neededBytes)
{
    const std::optional<std::int64_t> available = AvailableMemoryBytes();
    if (available && neededBytes > *available)
        return NotEnoughMemory(characters, order, neededBytes, available);
    return Done{};
}
