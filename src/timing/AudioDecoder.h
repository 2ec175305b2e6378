#pragma once

#include <QString>

#include <cstdint>
#include <functional>

struct AVFormatContext;

// Streams one audio track of a video as mono 16-bit samples at a low rate,
// a block at a time, so that a film of any length needs only the decoder's
// own buffers. Not copyable; one decoder per measurement.
class AudioDecoder final {
public:
    using SampleSink = std::function<void(const int16_t *samples, int count)>;
    using CancelCheck = std::function<bool()>;

    AudioDecoder() = default;
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder &) = delete;
    AudioDecoder &operator=(const AudioDecoder &) = delete;

    // Opens the container and picks the audio track: the one in `language`
    // (a three-letter code; empty for none) when the container names one,
    // else the default track. Returns a reason when there is no track to
    // decode, empty on success.
    QString open(const QString &video, const QString &language, const CancelCheck &cancelled = {});

    // Frames per second of the video track; 0 when the container gives none.
    double videoFrameRate() const { return m_videoFrameRate; }

    // Decodes the whole track at `sampleRate` into `sink`. `cancelled` is
    // asked after every packet and by the container's reads, so a request
    // to stop is met within a packet. Returns a reason when decoding failed
    // or was cancelled, empty when the track was read to its end.
    QString decode(int sampleRate, const SampleSink &sink, const CancelCheck &cancelled = {});

private:
    static int interruptCallback(void *opaque);

    AVFormatContext *m_format = nullptr;
    int m_stream = -1;
    double m_videoFrameRate = 0;
    CancelCheck m_cancelled;
};
