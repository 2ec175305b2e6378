#include "timing/CueAligner.h"

#include <kiss_fftr.h>

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

Q_LOGGING_CATEGORY(lcTiming, "lumbra.timing")

namespace {

constexpr double framesPerSecond = 100.0;
constexpr int maxLag = int(CueAligner::maxOffsetSeconds * framesPerSecond);
// Shifts this close to the peak belong to it when judging how it stands out.
constexpr int peakWidth = 200;
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
    const size_t longest = std::max(speech.size(), size_t(std::ceil(lastEnd * widest * framesPerSecond)) + 1);
    const int n = kiss_fftr_next_fast_size_real(int(longest) + maxLag + 1);

    const Fft forward(kiss_fftr_alloc(n, 0, nullptr, nullptr));
    const Fft inverse(kiss_fftr_alloc(n, 1, nullptr, nullptr));
    std::vector<float> signal(size_t(n), 0.0f);
    std::copy(speech.begin(), speech.end(), signal.begin());
    centre(signal, 0, speech.size());
    const double speechNorm = norm(signal);
    if (speechNorm <= 0)
        return result;
    std::vector<kiss_fft_cpx> speechSpectrum(size_t(n / 2 + 1)), cueSpectrum(size_t(n / 2 + 1));
    kiss_fftr(forward.get(), signal.data(), speechSpectrum.data());

    Peak chosen;
    double chosenRatio = 1.0;
    double unitHeight = 0;
    for (const double ratio : candidateRatios()) {
        if (cancelled && cancelled())
            return {};
        std::fill(signal.begin(), signal.end(), 0.0f);
        for (const CueSpan &cue : cues) {
            const auto from = size_t(std::lround(cue.start * ratio * framesPerSecond));
            const auto to = std::min(signal.size(), size_t(std::lround(cue.end * ratio * framesPerSecond)));
            std::fill(signal.begin() + std::ptrdiff_t(std::min(from, to)),
                      signal.begin() + std::ptrdiff_t(to), 1.0f);
        }
        centre(signal, size_t(std::lround(cues.front().start * ratio * framesPerSecond)),
               std::min(signal.size(), size_t(std::lround(lastEnd * ratio * framesPerSecond))));
        const double cueNorm = norm(signal);
        if (cueNorm <= 0)
            continue;
        kiss_fftr(forward.get(), signal.data(), cueSpectrum.data());
        for (size_t i = 0; i < cueSpectrum.size(); ++i) {
            const kiss_fft_cpx a = speechSpectrum[i], b = cueSpectrum[i];
            cueSpectrum[i] = {a.r * b.r + a.i * b.i, a.i * b.r - a.r * b.i};
        }
        kiss_fftri(inverse.get(), cueSpectrum.data(), signal.data());
        // The inverse transform is unscaled: n times the correlation.
        const Peak peak = findPeak(signal, 1.0 / (double(n) * speechNorm * cueNorm),
                                   int(std::lround(cues.front().start * ratio * framesPerSecond)),
                                   int(std::lround(lastEnd * ratio * framesPerSecond)), int(speech.size()));
        qCDebug(lcTiming, "ratio %.5f: best shift %.2f s, match %.3f, stands out %.1f", ratio,
                peak.lag / framesPerSecond, peak.height, peak.standsOut);
        if (ratio == 1.0)
            unitHeight = peak.height;
        const bool better =
            ratio == 1.0 || (peak.height > chosen.height && peak.height > unitHeight * otherRatioMargin);
        if (better) {
            chosen = peak;
            chosenRatio = ratio;
        }
    }
    result.transform.ratio = chosenRatio;
    result.transform.offsetSeconds = chosen.lag / framesPerSecond;
    result.confidence = confidenceOf(chosen);
    return result;
}
