#pragma once

#include "common/Ticks.h"

#include <QTest>

// Window tests run the windows' timers four times as fast as real time.
inline constexpr double WindowTickScale = 0.25;

// For checks that something does NOT happen: lets `count` periods of a window
// timer pass, at the scale set with Ticks::setScaleForTesting.
inline void letTicksPass(std::chrono::milliseconds period, int count)
{
    QTest::qWait(static_cast<int>(Ticks::scaled(period).count() * count));
}
