#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

// The shared value types that service data travels in.

// The dynamic value: nil (invalid), int, qlonglong/qulonglong, double, bool,
// QString, Date, Dictionary, VariantList, Pair.
using Variant = QVariant;
using VariantList = QList<QVariant>;

// A local calendar date and time.
using Date = QDateTime;

// A two-value tuple. The XML-RPC codec uses it as a tagged value: Left holds
// the element name, Right the value.
struct Pair {
    Variant Left;
    Variant Right;

    friend bool operator==(const Pair &a, const Pair &b) { return a.Left == b.Left && a.Right == b.Right; }
};

// A map with text keys compared without regard to letter case. Iteration
// follows insertion order, because XML-RPC struct members are written in
// that order; replacing a value keeps the key's place and first spelling.
class Dictionary {
public:
    struct Entry {
        QString key;
        Variant value;
    };

    Dictionary() = default;
    Dictionary(std::initializer_list<std::pair<QString, Variant>> entries);

    void insert(const QString &key, const Variant &value);
    bool remove(const QString &key);
    void clear();

    bool contains(const QString &key) const { return indexOf(key) >= 0; }
    Variant value(const QString &key, const Variant &fallback = {}) const;
    Variant operator[](const QString &key) const { return value(key); }

    qsizetype count() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    QStringList keys() const;
    VariantList values() const;

    QList<Entry>::const_iterator begin() const { return m_entries.cbegin(); }
    QList<Entry>::const_iterator end() const { return m_entries.cend(); }

    friend bool operator==(const Dictionary &a, const Dictionary &b);

    // A key as the index compares it: without regard to letter case, and
    // without a folded copy of its text.
    struct FoldedKey {
        QString text;
        friend bool operator==(const FoldedKey &a, const FoldedKey &b)
        {
            return a.text.compare(b.text, Qt::CaseInsensitive) == 0;
        }
        friend size_t qHash(const FoldedKey &key, size_t seed) noexcept;
    };

private:
    // A search reply holds thousands of structs of some sixty members each:
    // those are searched in place, and only a struct larger than any the
    // service sends gets an index, which keeps hostile replies fast.
    static constexpr qsizetype kIndexedFrom = 128;
    qsizetype indexOf(const QString &key) const;
    void reindex();

    QList<Entry> m_entries;
    QHash<FoldedKey, qsizetype> m_index; // empty below kIndexedFrom entries
};

Q_DECLARE_METATYPE(Pair)
Q_DECLARE_METATYPE(Dictionary)

// Helpers to test what a Variant carries.
inline bool isPair(const Variant &v)
{
    return v.metaType() == QMetaType::fromType<Pair>();
}
inline bool isDictionary(const Variant &v)
{
    return v.metaType() == QMetaType::fromType<Dictionary>();
}
inline bool isArray(const Variant &v)
{
    return v.metaType() == QMetaType::fromType<VariantList>();
}
