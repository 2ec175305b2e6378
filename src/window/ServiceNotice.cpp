#include "window/ServiceNotice.h"

#include "common/Ticks.h"
#include "prefs/myPrefs.h"
#include "service/FailureWords.h"
#include "service/ProviderChoice.h"
#include "window/WindowHost.h"
#include "window/WorkflowFrame.h"

#include <QCoreApplication>

namespace ServiceNotice {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ServiceNotice", text);
}

bool keyRejected(const ServiceError &failure)
{
    return FailureWords::classify(failure.code) == FailureWords::Kind::KeyRejected;
}

bool noKeyYet()
{
    const myPrefs::Values prefs = myPrefs::values();
    return ProviderChoice::isRest(prefs) && prefs.RestApiKey.trimmed().isEmpty();
}

} // namespace

QString words(const ServiceError &failure)
{
    if (keyRejected(failure) && noKeyYet())
        return tr("No REST API key is set yet. The service's REST API needs one: get yours, free, at "
                  "opensubtitles.com/consumers and enter it in the preferences.");
    return FailureWords::describe(failure);
}

QString waiting(const QElapsedTimer &since)
{
    if (!since.isValid())
        return {};
    const qint64 seconds = since.elapsed() / Ticks::scaled(Ticks::CountdownSecond).count();
    if (seconds < WaitShownAfterSeconds)
        return {};
    return tr("still waiting for the service… %1 s").arg(seconds);
}

bool wantsApiKey(const ServiceError &failure)
{
    return keyRejected(failure) && ProviderChoice::isRest(myPrefs::values());
}

void show(WorkflowFrame &frame, const ServiceError &failure)
{
    frame.setNotice(words(failure));
    if (!wantsApiKey(failure)) {
        frame.setNoticeAction({}, {});
        return;
    }
    frame.setNoticeAction(tr("Enter API Key…"), [] {
        if (WindowHost *app = WindowHost::instance())
            app->showPreferences(true);
    });
}

} // namespace ServiceNotice
