#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>

// Zeroed memory straight from the system, on huge pages where the system
// allows it: an array far bigger than the cache that is visited at random
// would, with small pages, also walk the page tables at most visits.
// Untouched pages cost no memory (but count against an address-space limit).
class LargeMapping {
public:
    LargeMapping() = default;
    // Empty (data() null) when the system refuses the memory.
    explicit LargeMapping(size_t bytes);
    ~LargeMapping();
    LargeMapping(LargeMapping &&other) noexcept { swap(other); }
    LargeMapping &operator=(LargeMapping &&other) noexcept
    {
        LargeMapping(std::move(other)).swap(*this);
        return *this;
    }

    void *data() const { return m_data; }

private:
    void swap(LargeMapping &other) noexcept
    {
        std::swap(m_mapping, other.m_mapping);
        std::swap(m_length, other.m_length);
        std::swap(m_data, other.m_data);
    }

    void *m_mapping = nullptr;
    size_t m_length = 0;
    void *m_data = nullptr;
};

// `size` zero-valued elements of a trivial type in a LargeMapping.
template <typename T> class LargeArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    LargeArray() = default;
    // Empty (false) when the system refuses the memory.
    explicit LargeArray(size_t size) : m_mapping(size * sizeof(T)) {}

    explicit operator bool() const { return m_mapping.data() != nullptr; }
    // Writes a zero (what it holds) into each page of the first `size`
    // elements, telling `stopped` of the page's elements before each; false
    // when it answers true. The
    // system then zeroes the pages here, a page at a time, and not under
    // writes scattered over the whole array, whose first few can touch every
    // page of it with nothing to look at a stop in between.
    template <typename Stopped> bool faultIn(size_t size, const Stopped &stopped) const
    {
        auto *bytes = reinterpret_cast<volatile unsigned char *>(data());
        constexpr size_t kPage = 4096;
        for (size_t at = 0; at < size * sizeof(T); at += kPage) {
            if (stopped(qint64(std::min(kPage, size * sizeof(T) - at) / sizeof(T))))
                return false;
            bytes[at] = 0;
        }
        return true;
    }
    T *data() const { return static_cast<T *>(m_mapping.data()); }
    T &operator[](size_t i) const { return data()[i]; }

private:
    LargeMapping m_mapping;
};
