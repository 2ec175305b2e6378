#include "prefs/SecretStore.h"

namespace {
std::unique_ptr<SecretStore> &installed()
{
    static std::unique_ptr<SecretStore> store;
    return store;
}
} // namespace

SecretStore *secretStore()
{
    return installed().get();
}

void installSecretStore(std::unique_ptr<SecretStore> store)
{
    installed() = std::move(store);
}
