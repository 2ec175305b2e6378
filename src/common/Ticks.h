#pragma once

#include <chrono>

// Periods of the timers the windows run on: the process tick that moves a
// window's work along, the refresh tick that redraws it and the second of the
// retry countdown. One factor scales all of them, so a test can run a window at
// a faster clock instead of sleeping through real seconds.
namespace Ticks {

inline constexpr std::chrono::milliseconds Process{200};
inline constexpr std::chrono::milliseconds Refresh{100};
inline constexpr std::chrono::milliseconds CountdownSecond{1000};

// The period to give a timer: `period` at the current factor, at least 1 ms.
std::chrono::milliseconds scaled(std::chrono::milliseconds period);

// 1 is real time; 0.1 runs every window timer started afterwards ten times as fast.
void setScaleForTesting(double factor);

} // namespace Ticks
