#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

// Zeroed memory straight from the system for the index's big arrays, on huge
// pages where the system allows it: a table far bigger than the cache is
// visited at random, and with small pages most visits would also walk the
// page tables. Untouched pages cost no memory.
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
    explicit LargeArray(size_t size) : m_mapping(size * sizeof(T))
    {
        m_size = m_mapping.data() ? size : 0;
    }

    explicit operator bool() const { return m_mapping.data() != nullptr; }
    size_t size() const { return m_size; }
    T *data() const { return static_cast<T *>(m_mapping.data()); }
    T &operator[](size_t i) const { return data()[i]; }

private:
    LargeMapping m_mapping;
    size_t m_size = 0;
};
