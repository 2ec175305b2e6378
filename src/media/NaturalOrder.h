#pragma once

#include <QString>

// Orders names as people read them: letter case does not count, and a run of
// digits counts by its value, so "alien" comes before "Zed" and "Episode 2"
// before "Episode 10". Names equal in that reading fall back to a plain
// comparison, so the order is total and the same on every run.
//
// Negative, zero or positive as `a` sorts before, with or after `b`.
int naturalCompare(const QString &a, const QString &b);

inline bool naturalLess(const QString &a, const QString &b)
{
    return naturalCompare(a, b) < 0;
}
