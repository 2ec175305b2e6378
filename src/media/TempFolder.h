#pragma once

#include <QString>

// Makes a new private folder (mode 0700) in the system's temporary folder,
// named after the application's reverse-domain identifier with a random
// suffix, and returns its native path; empty text when it cannot be made.
// The folder is left in place for the caller.
QString getTempDir();
