#pragma once

#include "common/JobSession.h"
#include "prefs/myPrefs.h"
#include "service/BestChoice.h"
#include "service/JobRecords.h"
#include "service/SubtitleProvider.h"

#include <QStringList>

// The settings of one run (a search, a verification, a whole `get`), taken
// once when it starts and handed down to every step: what the user changes in
// the preferences meanwhile reaches the next run, and a run with options of
// its own (the command line's) never has to write them into the preferences
// that other windows read.
struct RunSettings {
    // The preferences as they were when the run started: the service, its
    // address and account, the listing rule and how subtitles are placed.
    myPrefs::Values prefs;
    // The languages searched (two-letter codes, never empty): the wanted
    // ones, unless the run asks about others (a verification, downloads
    // offered again).
    QStringList languages;

    static RunSettings of(const myPrefs::Values &prefs);
    static RunSettings fromPreferences();

    // The preference's language list, or English when it is empty.
    static QStringList wantedLanguages(const myPrefs::Values &prefs);

    bool refreshSubs() const { return prefs.refreshSubs; }
    BestChoice::Wishes wishes() const;
    ProviderAccount account() const;
    PlacementOptions placement() const;
    JobRecords::IntakeSettings intake() const;
};
