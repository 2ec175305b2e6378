#pragma once

#include "prefs/myPrefs.h"
#include "service/SubtitleProvider.h"

#include <chrono>
#include <memory>

// Which service interface the preferences name, made ready to sign in.
namespace ProviderChoice {

// "rest" (ServiceProvider "rest": RestServer, RestApiKey) or "xmlrpc"
// (anything else: OSAPIServer).
QString nameOf(const myPrefs::Values &prefs);
bool isRest(const myPrefs::Values &prefs);
std::shared_ptr<SubtitleProvider> fromPreferences(const myPrefs::Values &prefs);
// The time limit of one request for every provider made from now on; 0
// leaves each provider its own. Tests shorten it to see a stalled service
// fail without waiting a minute.
void setRequestTimeout(std::chrono::milliseconds timeout);
// The account of the preferences, as a provider signs in with it.
ProviderAccount accountOf(const myPrefs::Values &prefs);

} // namespace ProviderChoice
