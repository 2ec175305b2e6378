#include "common/Ticks.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<double> scale{1.0};
}

std::chrono::milliseconds Ticks::scaled(std::chrono::milliseconds period)
{
    const auto ms = static_cast<std::chrono::milliseconds::rep>(period.count() * scale.load());
    return std::chrono::milliseconds(std::max<std::chrono::milliseconds::rep>(ms, 1));
}

void Ticks::setScaleForTesting(double factor)
{
    scale.store(factor);
}
