#include "service/SeenPaths.h"

#include <algorithm>
#include <numeric>

QStringList SeenPaths::takeNew(const QStringList &batch)
{
    // The batch's positions in path order; equal paths stay in batch order.
    std::vector<qsizetype> order(std::size_t(batch.size()));
    std::iota(order.begin(), order.end(), 0);
    if (!std::is_sorted(batch.cbegin(), batch.cend()))
        std::stable_sort(order.begin(), order.end(),
                         [&batch](qsizetype a, qsizetype b) { return batch.at(a) < batch.at(b); });

    std::vector<bool> isNew(order.size(), false);
    std::vector<QString> added;
    added.reserve(order.size());
    auto seen = m_sorted.cbegin();
    for (const qsizetype at : order) {
        const QString &path = batch.at(at);
        if (!added.empty() && added.back() == path)
            continue;
        seen = std::lower_bound(seen, m_sorted.cend(), path);
        if (seen != m_sorted.cend() && *seen == path)
            continue;
        isNew[std::size_t(at)] = true;
        added.push_back(path);
    }

    if (m_sorted.empty() || added.empty() || m_sorted.back() < added.front()) {
        m_sorted.insert(m_sorted.end(), added.cbegin(), added.cend());
    } else {
        std::vector<QString> merged;
        merged.reserve(m_sorted.size() + added.size());
        std::merge(m_sorted.cbegin(), m_sorted.cend(), added.cbegin(), added.cend(),
                   std::back_inserter(merged));
        m_sorted.swap(merged);
    }

    if (qsizetype(added.size()) == batch.size())
        return batch; // all of it: shared, not copied
    QStringList fresh;
    fresh.reserve(qsizetype(added.size()));
    for (qsizetype at = 0; at < batch.size(); ++at) {
        if (isNew[std::size_t(at)])
            fresh.append(batch.at(at));
    }
    return fresh;
}
