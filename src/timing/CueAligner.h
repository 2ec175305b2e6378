#pragma once

#include "timing/SpokenCues.h"
#include "timing/TimingTransform.h"

#include <cstdint>
#include <functional>
#include <vector>

struct CueAlignment {
    TimingTransform transform;
    // 0 to 1: how far the best match stands out from every other shift.
    double confidence = 0;
};

namespace CueAligner {

// Shifts searched either way.
constexpr double maxOffsetSeconds = 120.0;

// The ratios tried: 1 and the common frame-rate mismatches either way.
const std::vector<double> &candidateRatios();

// Finds the transform that best lays `cues` over the 10 ms `speech` frames:
// for each candidate ratio the cues become an on/off signal whose
// cross-correlation with the speech (by FFT) peaks at the offset; the ratio
// whose peak stands out most wins, and 1 unless another clearly beats it.
// `cancelled` is asked between ratios.
CueAlignment align(const std::vector<uint8_t> &speech, const std::vector<CueSpan> &cues,
                   const std::function<bool()> &cancelled = {});

} // namespace CueAligner
