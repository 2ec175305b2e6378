#include "common/Types.h"

Dictionary::Dictionary(std::initializer_list<std::pair<QString, Variant>> entries)
{
    for (const auto &[key, value] : entries)
        insert(key, value);
}

void Dictionary::insert(const QString &key, const Variant &value)
{
    const QString folded = fold(key);
    if (const auto it = m_index.constFind(folded); it != m_index.cend()) {
        m_entries[*it].value = value;
        return;
    }
    m_index.insert(folded, m_entries.size());
    m_entries.append({key, value});
}

bool Dictionary::remove(const QString &key)
{
    const auto it = m_index.constFind(fold(key));
    if (it == m_index.cend())
        return false;
    m_entries.removeAt(*it);
    reindex();
    return true;
}

void Dictionary::clear()
{
    m_entries.clear();
    m_index.clear();
}

Variant Dictionary::value(const QString &key, const Variant &fallback) const
{
    const auto it = m_index.constFind(fold(key));
    return it == m_index.cend() ? fallback : m_entries.at(*it).value;
}

QStringList Dictionary::keys() const
{
    QStringList result;
    result.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        result.append(e.key);
    return result;
}

VariantList Dictionary::values() const
{
    VariantList result;
    result.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        result.append(e.value);
    return result;
}

void Dictionary::reindex()
{
    m_index.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_index.insert(fold(m_entries.at(i).key), i);
}

bool operator==(const Dictionary &a, const Dictionary &b)
{
    if (a.count() != b.count())
        return false;
    for (const Dictionary::Entry &e : a) {
        if (!b.contains(e.key) || b.value(e.key) != e.value)
            return false;
    }
    return true;
}
