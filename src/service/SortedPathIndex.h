#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// A text key compared as its lower-case form, made from the start of a text
// it shares (a video's stem is its path up to the extension). Plain ASCII is
// lowered while it is compared, so the keys of a library cost no copies;
// text with other characters is lowered once, as the key is made.
class FoldedKey final {
public:
    FoldedKey() = default;
    // The key of the first `size` characters of `text`.
    static FoldedKey of(const QString &text, qsizetype size)
    {
        const QStringView part = QStringView(text).left(size);
        if (std::all_of(part.begin(), part.end(), [](QChar c) { return c.unicode() < 0x80; }))
            return FoldedKey(text, size);
        QString lower = part.toString().toLower();
        const qsizetype lowerSize = lower.size();
        return FoldedKey(std::move(lower), lowerSize);
    }

    QStringView view() const { return QStringView(m_text).left(m_size); }
    qsizetype size() const { return m_size; }

    // <0, 0 or >0 as a's lower-case form sorts before, with or after b's.
    static int compare(QStringView a, QStringView b)
    {
        const qsizetype n = std::min(a.size(), b.size());
        const char16_t *x = a.utf16();
        const char16_t *y = b.utf16();
        // Keys of one folder share a long start: skip what is the same as it
        // is, four characters at a time.
        qsizetype i = 0;
        for (std::uint64_t p, q; i + 4 <= n; i += 4) {
            std::memcpy(&p, x + i, sizeof p);
            std::memcpy(&q, y + i, sizeof q);
            if (p != q)
                break;
        }
        for (; i < n; ++i) {
            if (x[i] == y[i])
                continue;
            const char16_t fx = folded(x[i]), fy = folded(y[i]);
            if (fx != fy)
                return fx < fy ? -1 : 1;
        }
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }
    static bool startsWith(QStringView text, QStringView prefix)
    {
        return text.size() >= prefix.size() && compare(text.left(prefix.size()), prefix) == 0;
    }

private:
    FoldedKey(QString text, qsizetype size)
        : m_text(std::move(text))
        , m_size(size)
    {
    }
    static char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }

    QString m_text;
    qsizetype m_size = 0;
};

// Values by folded text key, asked for by key prefix. Keys come in batches
// (one listing at a time) and are sorted once per batch: a listing arrives
// nearly in key order already, and one flat array costs a fraction of the
// tree nodes a map would make for every path of a library. Keys may repeat.
template<typename Value> class SortedPathIndex final {
public:
    using Entry = std::pair<FoldedKey, Value>;
    using Iterator = typename std::vector<Entry>::const_iterator;

    // Added entries are not found until settle() has run.
    void add(FoldedKey key, Value value)
    {
        if (!m_entries.empty() && FoldedKey::compare(key.view(), m_entries.back().first.view()) < 0)
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

    // Where the last of a series of questions ended; a new series starts at
    // cursor().
    using Cursor = Iterator;
    Cursor cursor() const { return m_entries.cbegin(); }

    // The entries whose key starts with the prefix (in lower case), in key
    // order (the key equal to the prefix first). Prefixes are mostly asked in
    // key order (the videos of a listing): a search whose prefix sorts after
    // the key before the cursor goes on from there, in steps that double,
    // instead of from the start. Valid while nothing is added.
    std::pair<Iterator, Iterator> startingWith(QStringView prefix, Cursor &cursor) const
    {
        const auto end = settledEnd();
        auto from =
            cursor == m_entries.cbegin() || keyBefore(*(cursor - 1), prefix) ? cursor : m_entries.cbegin();
        auto beyond = from;
        for (qsizetype step = 1; beyond != end && keyBefore(*beyond, prefix); step *= 2) {
            from = beyond + 1;
            beyond = end - beyond > step ? beyond + step : end;
        }
        const auto first = std::lower_bound(from, beyond, prefix, keyBefore);
        auto last = first;
        while (last != end && FoldedKey::startsWith(last->first.view(), prefix))
            ++last;
        cursor = first;
        return {first, last};
    }

private:
    static bool byKey(const Entry &a, const Entry &b)
    {
        return FoldedKey::compare(a.first.view(), b.first.view()) < 0;
    }
    static bool keyBefore(const Entry &e, QStringView prefix)
    {
        return FoldedKey::compare(e.first.view(), prefix) < 0;
    }
    Iterator settledEnd() const { return m_entries.cbegin() + qsizetype(m_settled); }

    std::vector<Entry> m_entries;
    std::size_t m_settled = 0; // entries before this are in key order
    bool m_ordered = true;     // and so are all of them, the added ones included
};
