#include "preview/subLine.h"

QString subLine::lines(const QString &separator) const
{
    return subText.join(separator.isEmpty() ? QStringLiteral("\n") : separator);
}
