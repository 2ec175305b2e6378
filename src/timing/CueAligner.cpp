#include "timing/CueAligner.h"

#include <kiss_fftr.h>

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

Q_LOGGING_CATEGORY(lcTiming, "lumbra.timing")

namespace {

// Speech comes in 10 ms frames. The search over every shift runs on 20 ms
// frames, which halves the memory and time of the transforms on a long
// film; the best shift is then refined on the 10 ms frames.
constexpr double framesPerSecond = 100.0;
constexpr int searchStep = 2;
constexpr double searchRate = framesPerSecond / searchStep;
constexpr int maxLag = int(CueAligner::maxOffsetSeconds * searchRate);
// Shifts this close to the peak belong to it when judging how it stands out.
constexpr int peakWidth = int(2.0 * searchRate);
// How far either side of the coarse peak the fine search looks (10 ms frames).
constexpr int refineReach = 4;
// Another ratio must beat 1 by this share to be taken: a correct subtitle
// stays as it is unless the evidence for a stretch is clear.
constexpr double otherRatioMargin = 1.03;
// Confidence rests half on how well the cues match the speech at the peak
// (their correlation, 0 to 1) and half on how far the peak stands above the
// other shifts (in spreads): a short clip matches loosely by chance at some
// shift, and a long film's cues stand out even when the speech is noisy.
// Below the first value each gives nothing; the span above it reaches full.
constexpr double chanceHeight = 0.25;
constexpr double heightSpan = 0.35;
constexpr double chanceStanding = 2.5;
constexpr double standingSpan = 4.0;

struct FftFree {
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};
using Fft = std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, FftFree>;

struct Peak {
    double lag = 0;    // frames, with the fraction from the neighbours
    double height = 0; // normalised correlation
    double standsOut = 0;
};

double confidenceOf(const Peak &peak)
{
    const auto share = [](double value, double chance, double span) {
        return std::clamp((value - chance) / span, 0.0, 1.0);
    };
    return 0.5 * share(peak.height, chanceHeight, heightSpan) +
           0.5 * share(peak.standsOut, chanceStanding, standingSpan);
}

// Subtracts the mean over [from, to) so that long stretches of agreement on
// silence weigh nothing, then zeroes the rest.
void centre(std::vector<float> &signal, size_t from, size_t to)
{
    if (to <= from)
        return;
    const double mean =
        std::accumulate(signal.begin() + std::ptrdiff_t(from), signal.begin() + std::ptrdiff_t(to), 0.0) /
        double(to - from);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = i >= from && i < to ? float(signal[i] - mean) : 0.0f;
}

double norm(const std::vector<float> &signal)
{
    double sum = 0;
    for (const float x : signal)
        sum += double(x) * x;
    return std::sqrt(sum);
}

size_t framesAt(double seconds, double ratio, double rate)
{
    return size_t(std::max(0L, std::lround(seconds * ratio * rate)));
}

// The cues stretched by `ratio` as an on/off signal of `length` frames at
// `rate`, centred over the span from the first cue to the last.
std::vector<float> cueSignal(const std::vector<CueSpan> &cues, double ratio, double rate, size_t length)
{
    std::vector<float> signal(length, 0.0f);
    double lastEnd = 0;
    for (const CueSpan &cue : cues) {
        const size_t to = std::min(length, framesAt(cue.end, ratio, rate));
        const size_t from = std::min(to, framesAt(cue.start, ratio, rate));
        std::fill(signal.begin() + std::ptrdiff_t(from), signal.begin() + std::ptrdiff_t(to), 1.0f);
        lastEnd = std::max(lastEnd, cue.end);
    }
    centre(signal, std::min(length, framesAt(cues.front().start, ratio, rate)),
           std::min(length, framesAt(lastEnd, ratio, rate)));
    return signal;
}

// The speech frames averaged `step` at a time into a signal of `length`
// frames, centred over the audio.
std::vector<float> speechSignal(const std::vector<uint8_t> &speech, int step, size_t length)
{
    std::vector<float> signal(length, 0.0f);
    const size_t frames = std::min(length, (speech.size() + size_t(step) - 1) / size_t(step));
    for (size_t i = 0; i < speech.size() && i / size_t(step) < frames; ++i)
        signal[i / size_t(step)] += float(speech[i]) / float(step);
    centre(signal, 0, frames);
    return signal;
}

// Frames [from, to) of one signal, shifted by `lag`, that fall on [0, length) of the other.
int overlap(int from, int to, int lag, int length)
{
    return std::max(0, std::min(to + lag, length) - std::max(from + lag, 0));
}

// The peak of `correlation` (circular: negative lags at the end) within
// ±maxLag, and how far it stands above the other lags in their spreads. Only
// lags that lay at least half the cues over the audio count as the others:
// lags that leave the cues beside it correlate with nothing and would make
// any peak look tall.
Peak findPeak(const std::vector<float> &correlation, double scale, int cuesFrom, int cuesTo, int audioLength)
{
    const int n = int(correlation.size());
    const auto at = [&](int lag) { return double(correlation[size_t((lag + n) % n)]) * scale; };
    int best = 0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        if (at(lag) > at(best))
            best = lag;
    }
    const int enough = std::min(cuesTo - cuesFrom, audioLength) / 2;
    double sum = 0, squares = 0;
    int count = 0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        if (std::abs(lag - best) <= peakWidth || overlap(cuesFrom, cuesTo, lag, audioLength) < enough)
            continue;
        sum += at(lag);
        squares += at(lag) * at(lag);
        ++count;
    }
    Peak peak;
    peak.height = at(best);
    const double left = at(best - 1), right = at(best + 1);
    const double curve = left - 2 * peak.height + right;
    peak.lag = best + (curve < 0 ? 0.5 * (left - right) / curve : 0.0);
    if (count > 1) {
        const double mean = sum / count;
        const double spread = std::sqrt(std::max(1e-12, squares / count - mean * mean));
        peak.standsOut = (peak.height - mean) / spread;
    }
    return peak;
}

} // namespace

const std::vector<double> &CueAligner::candidateRatios()
{
    static const std::vector<double> ratios = [] {
        const double ntscFilm = 24000.0 / 1001.0, ntscVideo = 30000.0 / 1001.0;
        const std::vector<std::pair<double, double>> pairs = {
            {25, ntscFilm}, {25, 24}, {24, ntscFilm}, {25, ntscVideo}, {ntscVideo, ntscFilm}};
        std::vector<double> all = {1.0};
        for (const auto &[a, b] : pairs) {
            all.push_back(a / b);
            all.push_back(b / a);
        }
        return all;
    }();
    return ratios;
}

namespace {

// The speech's spectrum, kept to correlate each ratio's cues with.
class Correlator {
public:
    Correlator(const std::vector<uint8_t> &speech, size_t cueFrames)
        : m_speechFrames(int((speech.size() + searchStep - 1) / searchStep))
        , m_n(kiss_fftr_next_fast_size_real(int(std::max(size_t(m_speechFrames), cueFrames)) + maxLag + 1))
        , m_forward(kiss_fftr_alloc(m_n, 0, nullptr, nullptr))
        , m_inverse(kiss_fftr_alloc(m_n, 1, nullptr, nullptr))
        , m_speechSpectrum(size_t(m_n / 2 + 1))
        , m_cueSpectrum(size_t(m_n / 2 + 1))
    {
        const std::vector<float> signal = speechSignal(speech, searchStep, size_t(m_n));
        m_speechNorm = norm(signal);
        kiss_fftr(m_forward.get(), signal.data(), m_speechSpectrum.data());
    }

    bool hasSpeech() const { return m_speechNorm > 0; }

    Peak peakFor(const std::vector<CueSpan> &cues, double ratio, double lastEnd)
    {
        std::vector<float> signal = cueSignal(cues, ratio, searchRate, size_t(m_n));
        const double cueNorm = norm(signal);
        if (cueNorm <= 0)
            return {};
        kiss_fftr(m_forward.get(), signal.data(), m_cueSpectrum.data());
        for (size_t i = 0; i < m_cueSpectrum.size(); ++i) {
            const kiss_fft_cpx a = m_speechSpectrum[i], b = m_cueSpectrum[i];
            m_cueSpectrum[i] = {a.r * b.r + a.i * b.i, a.i * b.r - a.r * b.i};
        }
        kiss_fftri(m_inverse.get(), m_cueSpectrum.data(), signal.data());
        // The inverse transform is unscaled: n times the correlation.
        return findPeak(signal, 1.0 / (double(m_n) * m_speechNorm * cueNorm),
                        int(framesAt(cues.front().start, ratio, searchRate)),
                        int(framesAt(lastEnd, ratio, searchRate)), m_speechFrames);
    }

private:
    int m_speechFrames;
    int m_n;
    Fft m_forward;
    Fft m_inverse;
    std::vector<kiss_fft_cpx> m_speechSpectrum;
    std::vector<kiss_fft_cpx> m_cueSpectrum;
    double m_speechNorm = 0;
};

// The shift in 10 ms frames near `coarseLag` (in search frames) where the
// cues match the speech best, with the fraction from its neighbours.
double refinedLag(const std::vector<uint8_t> &speech, const std::vector<CueSpan> &cues, double ratio,
                  double lastEnd, double coarseLag)
{
    const std::vector<float> voiced = speechSignal(speech, 1, speech.size());
    const std::vector<float> cued =
        cueSignal(cues, ratio, framesPerSecond, framesAt(lastEnd, ratio, framesPerSecond) + 1);
    const auto at = [&](long lag) {
        double sum = 0;
        const long from = std::max(0L, -lag), to = std::min(long(cued.size()), long(voiced.size()) - lag);
        for (long t = from; t < to; ++t)
            sum += double(cued[size_t(t)]) * voiced[size_t(t + lag)];
        return sum;
    };
    const long centreLag = std::lround(coarseLag * searchStep);
    long best = centreLag;
    double bestValue = at(best);
    for (long lag = centreLag - refineReach; lag <= centreLag + refineReach; ++lag) {
        if (const double value = at(lag); value > bestValue) {
            best = lag;
            bestValue = value;
        }
    }
    const double left = at(best - 1), right = at(best + 1);
    const double curve = left - 2 * bestValue + right;
    return double(best) + (curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0);
}

} // namespace

CueAlignment CueAligner::align(const std::vector<uint8_t> &speech, const std::vector<CueSpan> &cues,
                               const std::function<bool()> &cancelled)
{
    CueAlignment result;
    if (speech.empty() || cues.empty())
        return result;
    double lastEnd = 0;
    for (const CueSpan &cue : cues)
        lastEnd = std::max(lastEnd, cue.end);
    const double widest = *std::max_element(candidateRatios().begin(), candidateRatios().end());

    Peak chosen;
    double chosenRatio = 1.0;
    {
        Correlator correlator(speech, framesAt(lastEnd, widest, searchRate) + 1);
        if (!correlator.hasSpeech())
            return result;
        double unitHeight = 0;
        for (const double ratio : candidateRatios()) {
            if (cancelled && cancelled())
                return {};
            const Peak peak = correlator.peakFor(cues, ratio, lastEnd);
            qCDebug(lcTiming, "ratio %.5f: best shift %.2f s, match %.3f, stands out %.1f", ratio,
                    peak.lag / searchRate, peak.height, peak.standsOut);
            if (ratio == 1.0)
                unitHeight = peak.height;
            const bool better =
                ratio == 1.0 || (peak.height > chosen.height && peak.height > unitHeight * otherRatioMargin);
            if (better) {
                chosen = peak;
                chosenRatio = ratio;
            }
        }
    }
    result.transform.ratio = chosenRatio;
    result.transform.offsetSeconds =
        refinedLag(speech, cues, chosenRatio, lastEnd, chosen.lag) / framesPerSecond;
    result.confidence = confidenceOf(chosen);
    return result;
}
