#pragma once

#include "common/Types.h"

#include <QString>

#include <functional>

class QDomDocument;

// Lumbra's persistent key/value store: typed values under text keys, kept in
// memory and written to one property-list style XML file in the preference
// folder. Keys compare without regard to letter case. The store is created
// and loaded from the file on first use and lives for the whole run.
//
// The file's text form is PlistCodec's (see there for the shape and the
// kinds of value it holds).
//
// Thread-safe: every operation takes the store's lock. Values set between
// saves live only in memory unless AutoSave is on.
namespace XPrefs {

// Result codes of the last save (LastErrorCode).
enum SaveError : int {
    NoError = 0,
    IOError = 101,      // input/output failure
    AccessDenied = 102, // no permission to write the file or its folder
    NotEnoughMemory = 103,
    FileInUse = 104,
    InvalidName = 105, // the path cannot name a file (e.g. it is a folder)
};

// The stored value, or an empty (invalid) value when the key is absent.
Variant Value(const QString &key);
// Stores `value` under `key`; saves at once when AutoSave is on.
void setValue(const QString &key, const Variant &value);
// Takes `key` out of the store (the next save leaves it out of the file).
void Remove(const QString &key);
bool HasKey(const QString &key);
// Every key, in store order.
QStringList Keys();

// Reads the store file into the store. A missing file leaves the store as
// it is. Only a regular file of at most 1 MiB is read, and opening it never
// blocks. A malformed, truncated or too large one is renamed beside itself
// ("<name>.damaged-<date>-<time>") before anything can be saved over it, the
// settings read whole before the damage are kept, and LoadProblem() says so.
void Load();
// Writes the store to its file atomically: the previous file stays whole
// until the new one is complete. A symbolic link, folder or other non-file
// at the file's place is never written through or replaced. The file is readable by its owner only
// (it holds the service password). Sets LastErrorCode; returns true on success.
bool Save();
// The file text Save writes.
QString ToString();
// The document of the file text, built from the store.
QDomDocument ConstructXML();

bool AutoSave();
void setAutoSave(bool on);
int LastErrorCode();
// Why the last save failed, in words (the path and the cause); empty after a
// successful one.
QString LastErrorText();

// Why the file could not be used as it stood at the last load (and where it
// was kept), or empty. TakeLoadProblem() hands it out once, so that it is
// said once however many places ask.
QString LoadProblem();
QString TakeLoadProblem();

// Seconds after which the saving window is shown while the file text is
// built; negative disables it. Default 2.0.
double SaveAlertWait();
void setSaveAlertWait(double seconds);
// The desktop application shows its "Saving Preferences..." window through
// these: `show` is called at most once per save when building the text
// takes SaveAlertWait or longer (0: every save), `close` afterwards. Both
// run on the thread that saves. Pass empty functions to remove them.
void setSavingWindowHooks(std::function<void()> show, std::function<void()> close);

// The store file: <prefsdir>/<AppIdentity::ReverseDomainId>.plist.
QString filePath();

// For tests: point the store at another file (empty = the default one) and
// forget the values in memory, so the next operation loads that file.
void setFilePathForTesting(const QString &path);

} // namespace XPrefs
