#pragma once

// The whole of an index held against its text, for the tests and fuzz targets
// to run on every index they build (test code only: the index befriends it).

#include "detail/context_index.h"

#include <QStringView>

#include <algorithm>
#include <map>
#include <set>

struct WholeIndexCheck {
    // The first fault of `finder`, an index, or nothing: every position whose
    // context is followed by a character other than LF is in its context's
    // group exactly once, each group in increasing order, no two groups of one
    // context; every table keeps an empty slot; a lookup finds each group, with
    // its followers, and no group for a context one code unit off.
    static QString faultOf(OccurrenceFinder &finder)
    {
        auto &index = dynamic_cast<ContextIndex &>(finder);
        const QStringView text(index.m_source);
        std::map<QStringView, std::vector<SourcePosition>> expected; // a plain map
        for (qsizetype p = 0; p + index.m_length < text.size(); ++p)
            if (text[p + index.m_length] != u'\n')
                expected[text.mid(p, index.m_length)].push_back(SourcePosition(p));
        std::set<QStringView> grouped;
        for (const KeptTable &table : index.m_tables) {
            if (std::ranges::all_of(table.entries, [](auto slot) { return slot.tag != 0; }))
                return QStringLiteral("a table with no empty slot");
            for (size_t s = 0; s < table.entries.size(); ++s) {
                const std::span group(index.m_positions.data() + table.groupBegin(s),
                                      table.entries[s].end - table.groupBegin(s));
                if (!table.entries[s].tag && group.empty())
                    continue;
                const QStringView context = text.mid(group.empty() ? 0 : group[0], index.m_length);
                const auto truth = expected.find(context);
                if (!table.entries[s].tag || truth == expected.end() ||
                    !std::ranges::equal(truth->second, group) || !grouped.insert(context).second)
                    return QStringLiteral("slot %1: a wrong group of [%2]").arg(s).arg(context);
                const Occurrences found = index.occurrences(context).value();
                bool same = std::ranges::equal(found, group);
                for (size_t i = 0; same && i < found.size(); ++i)
                    same = found.following(i) == text[group[i] + index.m_length];
                if (!same)
                    return QStringLiteral("[%1] looked up wrong").arg(context);
                QString off = context.toString();
                off.back() = QChar(off.back().unicode() ^ 1);
                if (!expected.contains(off) && !index.occurrences(off).value().empty())
                    return QStringLiteral("[%1] found, which the text lacks").arg(off);
            }
        }
        return grouped.size() == expected.size() ? QString()
                                                 : QStringLiteral("contexts left out of groups");
    }
};
