#include "preview/subsModule.h"

#include "common/NumberRange.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace subsModule {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Length of the number at `from`, 0 when there is none.
qsizetype numberLength(QStringView text, qsizetype from)
{
    qsizetype i = from;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < n && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        qsizetype expDigits = 0;
        while (j < n && isDigit(text[j])) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            i = j;
    }
    return i - from;
}

// Most numbers read are short decimals like "05.500"; reading them takes a
// fraction of the general conversion and gives the same, correctly rounded
// value: with at most 15 digits both the digits and the power of ten are
// exact doubles, and one division rounds once. None for other forms.
std::optional<double> plainDecimal(QStringView number)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < number.size() && (number[i] == u'+' || number[i] == u'-'))
        negative = number[i++] == u'-';
    quint64 digits = 0;
    int count = 0;
    int fraction = -1;
    for (; i < number.size(); ++i) {
        const QChar c = number[i];
        if (c == u'.' && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (!isDigit(c) || ++count > 15)
            return std::nullopt;
        digits = digits * 10 + quint64(c.unicode() - u'0');
        if (fraction >= 0)
            ++fraction;
    }
    static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double value = double(digits) / powers[std::max(fraction, 0)];
    return negative ? -value : value;
}

// At least `width` digits, zeros in front.
QString pad(qint64 value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

} // namespace

QString secondsToTimestring(double seconds)
{
    // Far beyond any video length; keeps the integer arithmetic below exact.
    constexpr double limit = 1e12;
    if (!std::isfinite(seconds) || std::abs(seconds) > limit)
        seconds = 0;
    const qint64 minutes = qint64(std::trunc(seconds / 60));
    const qint64 hours = minutes / 60;
    const double rest = seconds - double(minutes) * 60;
    const qint64 millis = std::llround(rest * 1000);
    const qint64 absMillis = millis < 0 ? -millis : millis;
    QString secondsPart = pad(absMillis / 1000, 2) + u',' + pad(absMillis % 1000, 3);
    if (millis < 0)
        secondsPart.prepend(u'-');
    return pad(hours, 2) + u':' + pad(minutes - hours * 60, 2) + u':' + secondsPart;
}

double timeStringToSeconds(const QString &text)
{
    QString s = text;
    s.replace(u',', u'.');
    const QList<QStringView> fields = QStringView(s).split(u':');
    if (fields.size() != 3)
        return -1;
    return readNumber(fields[0]) * 3600 + readNumber(fields[1]) * 60 + readNumber(fields[2]);
}

double readNumber(QStringView text)
{
    qsizetype from = 0;
    while (from < text.size() && isBlank(text[from]))
        ++from;
    const qsizetype length = numberLength(text, from);
    if (length == 0)
        return 0;
    const QStringView number = text.mid(from, length);
    if (const std::optional<double> quick = plainDecimal(number))
        return *quick;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

bool isNumber(QStringView text)
{
    const QStringView t = text.trimmed();
    return !t.isEmpty() && numberLength(t, 0) == t.size();
}

int truncateToInt(double value)
{
    return clampedInteger<int>(value);
}

} // namespace subsModule
