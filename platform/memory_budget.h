#pragma once

#include "result.h"

#include <QString>

#include <cstdint>
#include <optional>

// What the system can still give this process, in bytes: the memory
// available now, and, when the process has an address-space limit, what is
// left of it (the smaller of the two). Nothing when neither can be read.
std::optional<std::int64_t> AvailableMemoryBytes();

// The Error for a text of `characters` at `order` that does not fit in
// memory: it names both and suggests a way out. `neededBytes` and
// `availableBytes`, when known, go into the technical detail.
Error NotEnoughMemory(qsizetype characters, int order, std::optional<std::int64_t> neededBytes,
                      std::optional<std::int64_t> availableBytes);

// Done when `neededBytes` fits in AvailableMemoryBytes() (or nothing is
// known), otherwise NotEnoughMemory.
Status CheckMemoryFor(qsizetype characters, int order, std::int64_t neededBytes);
