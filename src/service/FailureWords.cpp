#include "service/FailureWords.h"

#include "service/ServiceError.h"

#include <QCoreApplication>

ServiceError::Kind ServiceError::kindOf(int code)
{
    using Kind = ServiceError::Kind;
    switch (code) {
    case ServiceError::None:
        return Kind::None;
    case ServiceError::ConnectionRefused:
        return Kind::ConnectionRefused;
    case ServiceError::ConnectionLost:
        return Kind::ConnectionLost;
    case ServiceError::TimedOut:
        return Kind::TimedOut;
    case ServiceError::HostNotFound:
        return Kind::HostNotFound;
    case ServiceError::Cancelled:
        return Kind::Cancelled;
    case ServiceError::BadReply:
    case ServiceError::EmptyReply:
        return Kind::BadReply;
    case ServiceError::Unavailable:
    case 429: // too many requests
        return Kind::ServiceBusy;
    case 401: // the service's "Unauthorized"
        return Kind::LoginRejected;
    case 403: // the REST API's answer to a missing or refused key
        return Kind::KeyRejected;
    default:
        return Kind::Other;
    }
}

namespace FailureWords {

QString describe(Kind kind, const QString &reason)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("FailureWords", text); };
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::ConnectionRefused:
        return tr("The service refused the connection: it may be down, or the server address in the "
                  "preferences may be wrong.");
    case Kind::ConnectionLost:
        return tr("The connection to the service was lost.");
    case Kind::TimedOut:
        return tr("The service did not answer in time.");
    case Kind::HostNotFound:
        return tr("The service's server could not be found: check the internet connection and the "
                  "server address in the preferences.");
    case Kind::LoginRejected:
        return tr("The service rejected the login: check the user name and password in the preferences.");
    case Kind::KeyRejected:
        // The reason names the preference and where keys are issued.
        return reason.isEmpty() ? tr("The service did not accept Lumbra's API key: check RestApiKey in the "
                                     "preferences.")
                                : tr("The service did not accept Lumbra's API key: %1").arg(reason);
    case Kind::ServiceBusy:
        return tr("The service is busy or down for maintenance; try again later.");
    case Kind::BadReply:
        return tr("The service sent a reply that Lumbra cannot read.");
    case Kind::Cancelled:
        return tr("The search was cancelled.");
    case Kind::Other:
        break;
    }
    return reason.isEmpty() ? tr("The search failed.") : tr("The search failed: %1").arg(reason);
}

bool worthRetrying(Kind kind)
{
    return kind != Kind::LoginRejected && kind != Kind::KeyRejected && kind != Kind::Cancelled &&
           kind != Kind::None;
}

} // namespace FailureWords

namespace RetrySchedule {

int delaySeconds(int attempt)
{
    int delay = FirstDelaySeconds;
    for (int i = 0; i < attempt && delay < LongestDelaySeconds; ++i)
        delay *= 2;
    return qMin(delay, LongestDelaySeconds);
}

} // namespace RetrySchedule
