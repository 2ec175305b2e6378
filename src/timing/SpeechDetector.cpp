#include "timing/SpeechDetector.h"

#include <algorithm>
#include <cmath>

namespace {

// Frames per block whose quiet share sets the loudness floor (30 s).
constexpr int floorBlockFrames = 3000;
// The share of a block's frames taken as its floor: in talk, pauses between
// words leave at least this much near the background level.
constexpr double floorQuantile = 0.15;
// How far above the floor a frame must be to count as voiced, in dB.
constexpr float voicedAboveFloor = 9.0f;
// Speech rises and falls with its syllables; a held tone or steady noise
// does not. The spread of loudness over ±modulationReach frames must exceed
// this (dB) for voiced frames to count as speech.
constexpr int modulationReach = 15;
constexpr float minModulation = 3.0f;
// Pauses inside a sentence shorter than this are bridged (frames), and
// bursts shorter than this are dropped, to match how cues span a line.
constexpr int bridgedPause = 25;
constexpr int shortestBurst = 8;

std::vector<float> blockFloors(const std::vector<float> &loudness)
{
    std::vector<float> floors;
    std::vector<float> block;
    for (size_t start = 0; start < loudness.size(); start += floorBlockFrames) {
        const size_t end = std::min(loudness.size(), start + floorBlockFrames);
        block.assign(loudness.begin() + std::ptrdiff_t(start), loudness.begin() + std::ptrdiff_t(end));
        const auto nth = block.begin() + std::ptrdiff_t(double(block.size() - 1) * floorQuantile);
        std::nth_element(block.begin(), nth, block.end());
        floors.push_back(*nth);
    }
    return floors;
}

// The standard deviation of loudness in a window around each frame, from a
// sliding sum so the cost does not grow with the window.
std::vector<float> loudnessSpread(const std::vector<float> &loudness)
{
    const size_t n = loudness.size();
    std::vector<float> spread(n);
    double sum = 0, squares = 0;
    size_t from = 0, to = 0;
    for (size_t i = 0; i < n; ++i) {
        for (; to < std::min(n, i + modulationReach + 1); ++to) {
            sum += loudness[to];
            squares += double(loudness[to]) * loudness[to];
        }
        for (; from + modulationReach < i; ++from) {
            sum -= loudness[from];
            squares -= double(loudness[from]) * loudness[from];
        }
        const double count = double(to - from);
        const double mean = sum / count;
        spread[i] = float(std::sqrt(std::max(0.0, squares / count - mean * mean)));
    }
    return spread;
}

// Sets runs of `value` shorter than `shortest` to the other value.
void dropShortRuns(std::vector<uint8_t> &frames, uint8_t value, int shortest)
{
    size_t i = 0;
    while (i < frames.size()) {
        if (frames[i] != value) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < frames.size() && frames[end] == value)
            ++end;
        // Runs touching the ends are left: nothing frames them.
        if (i > 0 && end < frames.size() && int(end - i) < shortest)
            std::fill(frames.begin() + std::ptrdiff_t(i), frames.begin() + std::ptrdiff_t(end),
                      uint8_t(!value));
        i = end;
    }
}

} // namespace

SpeechDetector::SpeechDetector(int sampleRate)
    : m_frameSamples(std::max(1, sampleRate / 100))
{
}

void SpeechDetector::feed(const int16_t *samples, int count)
{
    for (int i = 0; i < count; ++i) {
        const float x = float(samples[i]);
        const float emphasised = x - 0.95f * m_previous;
        m_previous = x;
        m_energy += double(emphasised) * emphasised;
        if (++m_inFrame == m_frameSamples) {
            m_loudness.push_back(float(10.0 * std::log10(m_energy / m_frameSamples + 1.0)));
            m_energy = 0;
            m_inFrame = 0;
        }
    }
}

std::vector<uint8_t> SpeechDetector::speechFrames() const
{
    const std::vector<float> floors = blockFloors(m_loudness);
    const std::vector<float> spread = loudnessSpread(m_loudness);
    std::vector<uint8_t> speech(m_loudness.size(), 0);
    for (size_t i = 0; i < m_loudness.size(); ++i) {
        const float floor = floors[i / floorBlockFrames];
        speech[i] = m_loudness[i] > floor + voicedAboveFloor && spread[i] > minModulation;
    }
    dropShortRuns(speech, 0, bridgedPause);
    dropShortRuns(speech, 1, shortestBurst);
    return speech;
}
