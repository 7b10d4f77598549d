#pragma once

#include "context_key.h"
#include "work_look.h"

#include <QtGlobal>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

// A rank per 16-bit code unit, zeroed by the system (calloc): the pages of
// code units a text lacks are never written, so a short text does not pay
// for all 65,536.
class CodeUnitRanks {
public:
    CodeUnitRanks()
        : m_ranks(static_cast<ContextRank *>(std::calloc(size_t(1) << 16, sizeof(ContextRank))))
    {
        if (!m_ranks)
            throw std::bad_alloc();
    }
    ContextRank *data() const { return m_ranks.get(); }
    ContextRank &operator[](char16_t c) const { return m_ranks.get()[c]; }

private:
    struct Free {
        void operator()(ContextRank *p) const { std::free(p); }
    };
    std::unique_ptr<ContextRank[], Free> m_ranks;
};

// Per code unit, its rank in the source's alphabet (code-unit order, from 1),
// 0 for one the source lacks; and how many bits a rank needs.
struct SourceAlphabet {
    CodeUnitRanks rank;
    std::vector<char16_t> characters; // by rank; [0] unused
    int bits = 1;
};

// The alphabet of `text` (`size` code units). Tells and asks `look` every
// `stride` code units, and ends early when it answers true.
SourceAlphabet RankAlphabet(const char16_t *text, qsizetype size, const WorkLook &look,
                            qsizetype stride);
