#include "media/NaturalOrder.h"

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The run of digits or of other characters starting at `at`.
QStringView runAt(const QString &text, qsizetype at)
{
    const bool digits = isDigit(text.at(at));
    qsizetype end = at;
    while (end < text.size() && isDigit(text.at(end)) == digits)
        ++end;
    return QStringView(text).mid(at, end - at);
}

// Two runs of digits by value: leading zeros do not count, a longer number is
// the larger, equal lengths compare digit by digit.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const QStringView left = runAt(a, i);
        const QStringView right = runAt(b, j);
        const bool leftDigits = isDigit(left.front());
        const bool rightDigits = isDigit(right.front());
        int order = 0;
        if (leftDigits && rightDigits)
            order = compareNumbers(left, right);
        else if (leftDigits != rightDigits)
            order = leftDigits ? -1 : 1; // numbers before words, as in file managers
        else
            order = left.compare(right, Qt::CaseInsensitive);
        if (order != 0)
            return order;
        i += left.size();
        j += right.size();
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}
