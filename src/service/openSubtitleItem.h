#pragma once

#include <QString>

// One subtitle the service offered for a video. For now only the fields the
// video record's check toggling reads; the record built from a search reply
// replaces this.
class openSubtitleItem final {
public:
    QString SubHash;
    QString ISO639;
    bool isChecked = false;
};
