#pragma once

#include <cstdint>
#include <vector>

// Tells speech from silence, steady noise and held tones, one 10 ms frame at
// a time. Samples are fed as they are decoded; only one number per frame is
// kept (under 3 MB for a 2-hour film), and the decisions are made at the end
// against the loudness floor of the surrounding half minute, so a loud or
// noisy scene does not read as talk throughout.
class SpeechDetector final {
public:
    explicit SpeechDetector(int sampleRate);

    void feed(const int16_t *samples, int count);

    // One entry per complete 10 ms frame fed so far: 1 for speech, 0 else.
    std::vector<uint8_t> speechFrames() const;
    // Frames fed so far.
    int frameCount() const { return int(m_loudness.size()); }

private:
    int m_frameSamples;
    // Loudness of each frame in dB, after a pre-emphasis that favours the
    // band speech carries over hum and bass.
    std::vector<float> m_loudness;
    double m_energy = 0;
    int m_inFrame = 0;
    float m_previous = 0;
};
