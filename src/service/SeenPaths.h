#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Every path the intake has taken in, so that each is taken in once. A
// listing arrives sorted, so a drop is checked against the paths before it
// in one walk along both sorted lists: a fraction of the cost of a hash per
// path of a library.
class SeenPaths final {
public:
    // The paths of `batch` not seen before, in the batch's order (a path
    // given twice counts the first time); from now on they count as seen.
    QStringList takeNew(const QStringList &batch);

private:
    std::vector<QString> m_sorted;
};
