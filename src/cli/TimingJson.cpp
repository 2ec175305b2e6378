#include "cli/TimingJson.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

QJsonObject timingJson(const TimingMeasurement &measurement, bool fixed, const QString &note)
{
    const TimingMeasurement &m = measurement;
    QJsonObject object{{u"measured"_s, m.measured()},
                       {u"offset_ms"_s, std::llround(m.transform.offsetSeconds * 1000.0)},
                       {u"ratio"_s, m.transform.ratio},
                       {u"confidence"_s, std::round(m.confidence * 1000.0) / 1000.0},
                       {u"fix_advised"_s, m.fixAdvised()},
                       {u"fixed"_s, fixed},
                       {u"transform"_s, m.transform.description()}};
    if (!note.isEmpty())
        object.insert(fixed ? u"note"_s : u"reason"_s, note);
    return object;
}

QString timingWords(const TimingMeasurement &measurement, bool fixed, const QString &note)
{
    if (fixed)
        return note;
    return u"timing left as it was: "_s + (note.isEmpty() ? measurement.reasonToLeave() : note);
}
