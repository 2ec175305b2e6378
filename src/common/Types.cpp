#include "common/Types.h"

Dictionary::Dictionary(std::initializer_list<std::pair<QString, Variant>> entries)
{
    for (const auto &[key, value] : entries)
        insert(key, value);
}

// Folds each code point as QString::compare() does without regard to case,
// so that keys it finds equal hash alike.
size_t qHash(const Dictionary::FoldedKey &key, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    const QString &text = key.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text.at(++i).unicode());
        seed = combine(seed, QChar::toCaseFolded(c));
    }
    return seed;
}

qsizetype Dictionary::indexOf(const QString &key) const
{
    if (!m_index.isEmpty()) {
        const auto it = m_index.constFind(FoldedKey{key});
        return it == m_index.cend() ? -1 : *it;
    }
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QString &known = m_entries.at(i).key;
        if (known.size() == key.size() && known.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void Dictionary::insert(const QString &key, const Variant &value)
{
    if (const qsizetype at = indexOf(key); at >= 0) {
        m_entries[at].value = value;
        return;
    }
    m_entries.append({key, value});
    if (!m_index.isEmpty())
        m_index.insert(FoldedKey{key}, m_entries.size() - 1);
    else if (m_entries.size() >= kIndexedFrom)
        reindex();
}

bool Dictionary::remove(const QString &key)
{
    const qsizetype at = indexOf(key);
    if (at < 0)
        return false;
    m_entries.removeAt(at);
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
    const qsizetype at = indexOf(key);
    return at < 0 ? fallback : m_entries.at(at).value;
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
    if (m_entries.size() < kIndexedFrom)
        return;
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_index.insert(FoldedKey{m_entries.at(i).key}, i);
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
