#pragma once

#include "result.h"

#include <QString>

#include <cstdint>
#include <optional>

// What the system can still give this process, in bytes: the smallest of the
// memory available now, what is left of the address-space limit, and the room
// left under each memory limit of the process's cgroup and of every cgroup
// above it (v2 or v1). Nothing when none of them can be read. `root` is where
// /proc and /sys are found: "/" but for a test that lays out its own.
std::optional<std::int64_t> AvailableMemoryBytes(const QString &root = QStringLiteral("/"));

// The Error for a text of `characters` at `order` that does not fit in
// memory: it names both and suggests a way out. `neededBytes` and
// `availableBytes`, when known, go into the technical detail.
Error NotEnoughMemory(qsizetype characters, int order, std::optional<std::int64_t> neededBytes,
                      std::optional<std::int64_t> availableBytes);

// Done when `neededBytes` fits in AvailableMemoryBytes(root) (or nothing is
// known), otherwise NotEnoughMemory.
Status CheckMemoryFor(qsizetype characters, int order, std::int64_t neededBytes,
                      const QString &root = QStringLiteral("/"));

// Gives back to the system what this process has freed but its allocator still
// holds: glibc keeps what a thread frees in that thread's arena, where a
// buffer of a few megabytes made on a helper thread stays resident after free.
void ReturnFreedMemory();
