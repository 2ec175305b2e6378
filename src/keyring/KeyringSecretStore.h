#pragma once

#include "prefs/SecretStore.h"

#include <chrono>

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain.
// Each secret is kept under the service "Lumbra" and its own name. A call
// that gets no answer within the wait counts as "no keyring answered"; the
// keyring may be asking the user to unlock it, so the wait is generous.
class KeyringSecretStore final : public SecretStore {
public:
    explicit KeyringSecretStore(std::chrono::milliseconds wait = std::chrono::seconds(30));

    Reply read(const QString &name) override;
    bool write(const QString &name, const QString &value) override;
    bool remove(const QString &name) override;

private:
    std::chrono::milliseconds m_wait;
};
