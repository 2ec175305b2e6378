#include "timing/TimingTransform.h"

#include <QStringList>

#include <array>
#include <cmath>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// The frame rates whose mismatches are common, as text and value.
const std::array<std::pair<const char *, double>, 5> &frameRates()
{
    static const std::array<std::pair<const char *, double>, 5> rates = {{
        {"23.976", 24000.0 / 1001.0},
        {"24", 24.0},
        {"25", 25.0},
        {"29.97", 30000.0 / 1001.0},
        {"30", 30.0},
    }};
    return rates;
}

// "25→23.976 fps" when the ratio is one frame rate over another; else the factor.
QString rateChange(double ratio)
{
    for (const auto &[fromName, from] : frameRates()) {
        for (const auto &[toName, to] : frameRates()) {
            if (std::abs(from / to - ratio) < 1e-5)
                return u"%1→%2 fps"_s.arg(QLatin1StringView(fromName), QLatin1StringView(toName));
        }
    }
    return u"by %1"_s.arg(ratio, 0, 'f', 5);
}

} // namespace

bool TimingTransform::changesRate() const
{
    return std::abs(ratio - 1.0) > 1e-6;
}

QString TimingTransform::description() const
{
    QStringList parts;
    if (changesRate())
        parts << (ratio > 1 ? u"stretched "_s : u"shrunk "_s) + rateChange(ratio);
    const double ms = std::round(offsetSeconds * 1000.0);
    if (ms != 0)
        parts << u"moved %1 s %2"_s.arg(std::abs(ms) / 1000.0, 0, 'f', std::abs(ms) < 1000 ? 2 : 1)
                     .arg(ms > 0 ? u"later"_s : u"earlier"_s);
    return parts.isEmpty() ? u"no change"_s : parts.join(u", "_s);
}
