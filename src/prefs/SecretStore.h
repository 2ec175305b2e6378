#pragma once

#include <QString>

#include <memory>

// A place for secrets outside the preference file: the desktop's keyring.
// The core only knows this interface; the programs install the keyring
// (QtKeychain over D-Bus) at start-up, and without one every secret stays
// in the preference file. Anything that keeps a secret (the account
// password, the REST API key, a login token) goes through it by name.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // What the keyring said. `answered` is false when no keyring answered
    // (no session bus, no Secret Service, a locked or refused keyring, no
    // answer in time); `value` is then meaningless. A keyring that answered
    // and holds nothing under the name gives an empty value.
    struct Reply {
        bool answered = false;
        QString value;
    };

    // Each call waits for the keyring, for a bounded time, on the calling
    // thread, which must run a Qt event loop's thread (it runs a local one).
    virtual Reply read(const QString &name) = 0;
    // True when the keyring holds `value` under `name` afterwards.
    virtual bool write(const QString &name, const QString &value) = 0;
    // True when the keyring holds nothing under `name` afterwards.
    virtual bool remove(const QString &name) = 0;
};

// The store in effect, or null when the program installed none (tests of
// the core, and programs built without a keyring).
SecretStore *secretStore();
// Installed once at start-up, before any worker thread runs.
void installSecretStore(std::unique_ptr<SecretStore> store);
