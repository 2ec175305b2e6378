#include "timing/TimingCheck.h"

#include "common/LangModule.h"
#include "preview/subClass.h"
#include "service/SubtitleDownload.h"
#include "timing/AudioDecoder.h"
#include "timing/CueAligner.h"
#include "timing/SpeechDetector.h"
#include "timing/SpokenCues.h"
#include "timing/SubtitleRetimer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// Low enough for speech, and half the work of 16 kHz.
constexpr int sampleRate = 8000;
// SUB frames are read at this rate when the video names none.
constexpr double fallbackFrameRate = 24000.0 / 1001.0;
// Fewer spoken cues than this give no pattern to match.
constexpr int fewestCues = 3;

// The three-letter code of the language a subtitle's name carries
// ("film.en.srt"), empty when it names none.
QString languageOfName(const QString &subtitle)
{
    const QStringList parts = QFileInfo(subtitle).completeBaseName().split(u'.');
    return parts.size() > 1 ? LangModule::getLangThree(parts.last()) : QString();
}

TimingMeasurement failed(const QString &reason)
{
    TimingMeasurement m;
    m.error = reason;
    return m;
}

// Writes beside the file and renames over it, so that a failure leaves the
// subtitle as it was.
TimingCheck::FixResult replaceInPlace(const QString &subtitle, const QByteArray &content)
{
    QSaveFile file(subtitle);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return {u"the fixed subtitle could not be written: %1"_s.arg(file.errorString()), {}};
    return {};
}

} // namespace

bool TimingMeasurement::sure() const
{
    return measured() && confidence >= TimingCheck::sureConfidence;
}

bool TimingMeasurement::fixAdvised() const
{
    return sure() &&
           (transform.changesRate() || std::abs(transform.offsetSeconds) >= TimingCheck::negligibleOffset);
}

QString TimingMeasurement::reasonToLeave() const
{
    if (!measured())
        return error;
    if (!sure())
        return u"not sure of the timing (confidence %1): the speech does not match the cues clearly"_s.arg(
            confidence, 0, 'f', 2);
    if (!fixAdvised())
        return u"the subtitle is in time with the speech"_s;
    return {};
}

TimingMeasurement TimingCheck::measure(const QString &video, const QString &subtitle,
                                       const CancelCheck &cancelled)
{
    if (!QFileInfo(subtitle).isFile())
        return failed(u"the subtitle file is not there"_s);
    AudioDecoder decoder;
    if (const QString error = decoder.open(video, languageOfName(subtitle), cancelled); !error.isEmpty())
        return failed(error);

    const double fps = decoder.videoFrameRate() > 0 ? decoder.videoFrameRate() : fallbackFrameRate;
    const subClass cues(subtitle, fps);
    if (!cues.allReady())
        return failed(
            u"Lumbra reads the cues of SRT and SUB subtitles only, and this one has none it can read"_s);
    const std::vector<CueSpan> spans = SpokenCues::spans(cues.subLines());
    if (int(spans.size()) < fewestCues)
        return failed(u"the subtitle has too few spoken cues to measure (%1)"_s.arg(spans.size()));

    std::vector<uint8_t> speech;
    {
        // The loudness of every frame is only needed until speech is told from the rest.
        SpeechDetector detector(sampleRate);
        const QString error = decoder.decode(
            sampleRate, [&detector](const int16_t *samples, int count) { detector.feed(samples, count); },
            cancelled);
        if (!error.isEmpty())
            return failed(error);
        speech = detector.speechFrames();
    }
    const CueAlignment alignment = CueAligner::align(speech, spans, cancelled);
    if (cancelled && cancelled())
        return failed(u"cancelled"_s);
    TimingMeasurement m;
    m.transform = alignment.transform;
    m.confidence = alignment.confidence;
    m.videoFrameRate = fps;
    m.spokenCues = int(spans.size());
    m.subtitleContent = cues.subOriginalContents();
    return m;
}

TimingCheck::FixResult TimingCheck::applyFix(const QString &subtitle, const TimingMeasurement &measurement,
                                             Previous previous)
{
    if (!measurement.fixAdvised())
        return {measurement.reasonToLeave(), {}};
    QFile file(subtitle);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != measurement.subtitleContent)
        return {u"the subtitle changed while it was measured; it was left as it is"_s, {}};
    file.close();
    const SubtitleRetimer::Retimed retimed = SubtitleRetimer::retime(
        measurement.subtitleContent, subtitle, measurement.transform, measurement.videoFrameRate);
    if (!retimed.error.isEmpty())
        return {retimed.error, {}};
    if (previous == Previous::Discard)
        return replaceInPlace(subtitle, retimed.content);
    const SubtitleDownload::PlacementResult placed =
        SubtitleDownload::placeKeepingPrevious(retimed.content, QFileInfo(subtitle).absoluteFilePath());
    if (placed.outcome != SubtitleDownload::Placement::Placed)
        return {u"the fixed subtitle could not be written beside the old one"_s, placed};
    return {{}, placed};
}

TimingCheck::PlacedFix TimingCheck::fixPlaced(const QString &video, const QString &subtitle,
                                              const CancelCheck &cancelled)
{
    PlacedFix done;
    done.measurement = measure(video, subtitle, cancelled);
    if (!done.measurement.fixAdvised()) {
        done.note = done.measurement.reasonToLeave();
        return done;
    }
    const FixResult fix = applyFix(subtitle, done.measurement, Previous::Discard);
    done.fixed = fix.error.isEmpty();
    done.note = done.fixed ? done.measurement.transform.description() : fix.error;
    return done;
}
