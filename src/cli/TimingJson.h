#pragma once

#include "timing/TimingCheck.h"

#include <QJsonObject>

// A timing measurement as `sync --json` and `get --json` print it:
// offset_ms, ratio, confidence, fix_advised, fixed, transform, and the note
// (what was done) or reason (why nothing was) when there is one.
QJsonObject timingJson(const TimingMeasurement &measurement, bool fixed, const QString &note);

// What to say of a measurement and its fix, for a line of text: "moved 2.3 s
// later" or why nothing changed.
QString timingWords(const TimingMeasurement &measurement, bool fixed, const QString &note);
