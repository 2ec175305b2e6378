#pragma once

#include <QString>
#include <QtGlobal>

// A folder told apart from every other by its device and inode, not by its
// path: a folder renamed away, or swapped for another or for a link to one,
// has another identity at the same path.
struct FolderIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool known = false; // false when the path led to no folder

    // The folder `path` leads to now (following links).
    static FolderIdentity of(const QString &path);
    // Whether `path` leads elsewhere than this known folder; never for an unknown identity.
    bool changedAt(const QString &path) const { return known && of(path) != *this; }

    friend bool operator==(const FolderIdentity &, const FolderIdentity &) = default;
};
