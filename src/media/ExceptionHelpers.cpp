#include "media/ExceptionHelpers.h"

#include "common/DesktopHooks.h"

#include <new>
#include <regex>
#include <stdexcept>
#include <typeinfo>

using namespace Qt::Literals::StringLiterals;

QString ShowExceptionText(const QString &kind, const QString &message)
{
    const QString details = message.isEmpty() ? u"No further details available"_s : message;
    return u"Exception: "_s + kind + u".\n\n"_s + details + u"."_s;
}

QString exceptionKind(const std::exception &error)
{
    if (dynamic_cast<const std::out_of_range *>(&error))
        return u"out of bounds"_s;
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return u"out of memory"_s;
    if (dynamic_cast<const std::bad_cast *>(&error))
        return u"illegal cast"_s;
    if (dynamic_cast<const std::regex_error *>(&error))
        return u"RegEx error"_s;
    return u"runtime error"_s;
}

QString ShowExceptionText(const std::exception_ptr &error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return ShowExceptionText(exceptionKind(e), QString::fromLocal8Bit(e.what()));
    } catch (...) {
    }
    return ShowExceptionText(u"runtime error"_s, QString());
}

void ShowException(const std::exception_ptr &error)
{
    try {
        desktopHooks().showError(ShowExceptionText(error));
    } catch (...) {
    }
}
