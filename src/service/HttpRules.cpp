#include "service/HttpRules.h"

#include <QHostAddress>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

using namespace Qt::Literals::StringLiterals;

namespace HttpRules {

namespace {
int effectivePort(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == "https"_L1 ? 443 : scheme == "http"_L1 ? 80 : -1);
}

// The three date forms HTTP/1.1 accepts (RFC 9110, 5.6.7), all in GMT.
std::optional<QDateTime> httpDate(const QString &text)
{
    // The weekday is left out: it adds nothing, and a two-digit year read
    // in the wrong century would not match it.
    static const char *const forms[] = {"dd MMM yyyy HH:mm:ss", "dd-MMM-yy HH:mm:ss", "MMM d HH:mm:ss yyyy"};
    QString plain = text.simplified();
    if (plain.endsWith(" GMT"_L1))
        plain.chop(4);
    plain = plain.section(u' ', 1);
    for (const char *form : forms) {
        QDateTime parsed = QLocale::c().toDateTime(plain, QString::fromLatin1(form));
        if (parsed.isValid()) {
            if (parsed.date().year() < 1970)
                parsed = parsed.addYears(100); // a two-digit year of the second form
            parsed.setTimeSpec(Qt::UTC);
            return parsed;
        }
    }
    return std::nullopt;
}
} // namespace

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.isValid() && b.isValid() && a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && effectivePort(a) == effectivePort(b);
}

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare("localhost"_L1, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isSecureEnough(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == "https"_L1 || (scheme == "http"_L1 && isLoopback(url)));
}

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == "http"_L1 || scheme == "https"_L1);
}

bool mayRedirect(const QUrl &from, const QUrl &to, RedirectScope scope)
{
    switch (scope) {
    case RedirectScope::NoLessSafe:
        return isWebAddress(to) && !(from.scheme().compare("https"_L1, Qt::CaseInsensitive) == 0 &&
                                     to.scheme().compare("https"_L1, Qt::CaseInsensitive) != 0);
    case RedirectScope::SecureEnough:
        return isSecureEnough(to);
    case RedirectScope::SameOrigin:
        return sameOrigin(from, to) && isSecureEnough(to);
    }
    return false;
}

std::optional<std::chrono::seconds> retryAfter(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    static const QRegularExpression digits(u"^[0-9]{1,10}\\z"_s);
    if (digits.match(QString::fromLatin1(text)).hasMatch())
        return std::chrono::seconds(text.toLongLong());
    const std::optional<QDateTime> when = httpDate(QString::fromLatin1(text.left(64)));
    if (!when)
        return std::nullopt;
    return std::chrono::seconds(std::max<qint64>(0, now.secsTo(*when)));
}

bool isTokenText(const QByteArray &token)
{
    // \z, not $: "$" also matches before a final line feed, which would let
    // "token\n" through into a header.
    static const QRegularExpression b64token(u"^[A-Za-z0-9._~+/-]+=*\\z"_s);
    return !token.isEmpty() && token.size() <= 8192 && b64token.match(QString::fromLatin1(token)).hasMatch();
}

} // namespace HttpRules
