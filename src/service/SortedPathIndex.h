#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <utility>
#include <vector>

// Values by text key, asked for by key prefix. Keys come in batches (one
// listing at a time) and are sorted once per batch: a listing arrives nearly
// in key order already, and one flat array costs a fraction of the tree nodes
// a map would make for every path of a library. Keys may repeat.
template<typename Value> class SortedPathIndex final {
public:
    using Entry = std::pair<QString, Value>;
    using Iterator = typename std::vector<Entry>::const_iterator;

    void reserve(std::size_t more) { m_entries.reserve(m_entries.size() + more); }

    // Added entries are not found until settle() has run.
    void add(QString key, Value value)
    {
        if (!m_entries.empty() && key < m_entries.back().first)
            m_ordered = false;
        m_entries.emplace_back(std::move(key), std::move(value));
    }

    // Puts the entries added since the last call in key order among the rest.
    void settle()
    {
        if (!m_ordered) {
            const auto added = m_entries.begin() + qsizetype(m_settled);
            std::stable_sort(added, m_entries.end(), byKey);
            std::inplace_merge(m_entries.begin(), added, m_entries.end(), byKey);
        }
        m_settled = m_entries.size();
        m_ordered = true;
    }

    // The entries whose key starts with the prefix, in key order (the key
    // equal to the prefix first).
    std::pair<Iterator, Iterator> startingWith(QStringView prefix) const
    {
        const auto end = m_entries.cbegin() + qsizetype(m_settled);
        const auto first =
            std::lower_bound(m_entries.cbegin(), end, prefix,
                             [](const Entry &e, QStringView p) { return QStringView(e.first) < p; });
        auto last = first;
        while (last != end && last->first.startsWith(prefix))
            ++last;
        return {first, last};
    }

private:
    static bool byKey(const Entry &a, const Entry &b) { return a.first < b.first; }

    std::vector<Entry> m_entries;
    std::size_t m_settled = 0; // entries before this are in key order
    bool m_ordered = true;     // and so are all of them, the added ones included
};
