#include "service/ProviderChoice.h"

#include "service/rest/RestProvider.h"
#include "service/XmlRpcProvider.h"

#include <QCoreApplication>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

namespace ProviderChoice {

bool isRest(const myPrefs::Values &prefs)
{
    return myPrefs::providerNamed(prefs.ServiceProvider) == myPrefs::kProviderRest;
}

QString nameOf(const myPrefs::Values &prefs)
{
    return isRest(prefs) ? QString(myPrefs::kProviderRest) : QString(myPrefs::kProviderXmlRpc);
}

namespace {

std::atomic<qint64> requestTimeoutMs{0};

} // namespace

void setRequestTimeout(std::chrono::milliseconds timeout)
{
    requestTimeoutMs = timeout.count();
}

std::shared_ptr<SubtitleProvider> fromPreferences(const myPrefs::Values &prefs)
{
    std::shared_ptr<SubtitleProvider> provider;
    if (isRest(prefs))
        provider = std::make_shared<RestProvider>(
            prefs.RestServer, prefs.RestApiKey,
            std::make_shared<RestTokenCache>(
                std::make_shared<RestTokenKeyring>(std::make_shared<RestTokenFile>())));
    else
        provider = std::make_shared<XmlRpcProvider>(prefs.OSAPIServer);
    provider->setRequestTimeout(std::chrono::milliseconds(requestTimeoutMs.load()));
    return provider;
}

ProviderAccount accountOf(const myPrefs::Values &prefs)
{
    ProviderAccount account;
    account.user = prefs.OSUsername;
    account.password = prefs.OSPassword;
    // The XML-RPC service knows applications by "name major.minor".
    const QString version = QCoreApplication::applicationVersion();
    account.agent =
        u"Lumbra %1.%2"_s.arg(version.section(u'.', 0, 0).toInt()).arg(version.section(u'.', 1, 1).toInt());
    return account;
}

} // namespace ProviderChoice
