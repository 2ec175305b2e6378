#pragma once

#include <QString>
#include <QStringList>

// What a file-intake item needs from the window that queued it (or from a
// headless workflow standing in for one). Intake items call it from worker
// threads, several at once: implementations guard their state themselves (a
// window with its one mutex).
class IntakeTarget {
public:
    IntakeTarget() = default;
    IntakeTarget(const IntakeTarget &) = delete;
    IntakeTarget &operator=(const IntakeTarget &) = delete;
    virtual ~IntakeTarget() = default;

    // The window's Tcounter: one more intake item under way, one fewer.
    // An item counts from the moment it is created until it is destroyed,
    // so a queued item that has not started yet still counts.
    virtual void intakeItemAdded() = 0;
    virtual void intakeItemRemoved() = 0;

    // The window's dirList: remembers the folder and returns true the first
    // time it is seeded in this window, false every later time.
    virtual bool claimFolder(const QString &nativePath) = 0;

    // The window's extensionList: the extensions the intake hands on.
    virtual QString extensionList() const = 0;

    // Appends the paths to the job's fileList and runs the job's records'
    // processFiles once. Called at most once per intake item, with a video
    // and the subtitles found beside it in the same call.
    virtual void processFiles(const QStringList &paths) = 0;

    // Files and folders the intake could not take in, each with the reason,
    // so that the user can be told (see ShellFinder::shownName for names
    // that cannot be carried as text).
    virtual void notTakenIn(const QStringList &shownPaths, const QString &reason) = 0;
    // True once the window has gone or its job was cancelled: an item not
    // started yet does nothing and a folder walk stops at its next entry.
    virtual bool intakeCancelled() const { return false; }
};
