#pragma once

#include "prefs/myPrefs.h"

// The preferences that are secrets (the account password and the REST API
// key) live in the keyring when one answers (SecretStore), and in the
// preference file, readable by its owner only, when none does. myPrefs
// loads and saves them through here; nothing else needs to know where they
// are.
namespace PrefSecrets {

enum class Place { Keyring, File };

// Takes the secrets into `v`. Secrets still in the file are moved to the
// keyring when one answers, and the file is rewritten without them.
void load(myPrefs::Values &v);

// Puts the secrets of `v` where they belong: into the keyring and out of
// the file, or into the file when no keyring answers. An empty password
// keeps the one stored earlier; an empty API key clears the stored one.
// The file itself is written by the caller.
void save(const myPrefs::Values &v);

// Where the secrets were kept at the last load or save.
Place place();
QString placeName(); // "keyring" or "file"

// The sentence saying that secrets went to the file because no keyring
// answered; given once per run after a save that did so, empty otherwise.
QString takeFileNotice();

} // namespace PrefSecrets
