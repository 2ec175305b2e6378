#pragma once

#include "common/Types.h"

#include <QList>

#include <memory>

class movieFile;
class openSubtitleItem;

// Puts the replies of a search onto the videos they belong to: a result goes
// to every video it matches (by hash, IMDB id, tag, or name / episode), once
// per video, and teaches the video the film it names; an IMDB candidate of a
// hash becomes the identity of the videos with that hash.
//
// One merge serves one reply: it indexes the videos when made, so a reply of
// thousands of results meets thousands of videos in linear time. The caller
// holds the owner's state lock for the merge's whole life and does not change
// the list of videos meanwhile.
class ResultMerge final {
public:
    explicit ResultMerge(const QList<std::shared_ptr<movieFile>> &videos);
    ~ResultMerge();
    ResultMerge(const ResultMerge &) = delete;
    ResultMerge &operator=(const ResultMerge &) = delete;

    void attach(const std::shared_ptr<openSubtitleItem> &item);
    void attachAll(const QList<std::shared_ptr<openSubtitleItem>> &items);

    // Per movie hash, the film most often seen under it.
    void storeImdbCandidates(const Dictionary &byHash);
    // `candidate` becomes the identity of the videos with its hash, and
    // `candidates` their IMDB list.
    void storeImdbCandidate(const Dictionary &candidate, const VariantList &candidates);

    // Results that are the subtitle already beside their video are marked so.
    static void markLocalCopies(const QList<std::shared_ptr<movieFile>> &videos);

private:
    struct VideoIndex;
    std::unique_ptr<VideoIndex> m_index;
};
