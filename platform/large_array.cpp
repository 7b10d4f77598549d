#include "large_array.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr size_t kHugePage = size_t(2) * 1024 * 1024;

} // namespace

LargeMapping::LargeMapping(size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
    // A little more than asked, so that the data can start on a huge-page
    // boundary; the slack is never touched and so never costs memory.
    const size_t length = bytes + kHugePage;
    void *mapping =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    m_mapping = mapping;
    m_length = length;
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    m_data = reinterpret_cast<void *>((start + kHugePage - 1) & ~(kHugePage - 1));
    if (bytes >= kHugePage)
        madvise(m_data, bytes, MADV_HUGEPAGE); // only advice: small pages work too
}

LargeMapping::~LargeMapping()
{
    if (m_mapping)
        munmap(m_mapping, m_length);
}
