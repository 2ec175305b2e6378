#include "preview/gui/TimingProbe.h"

#include "common/WorkerThreads.h"

#include <QCoreApplication>
#include <QPointer>

using namespace Qt::Literals::StringLiterals;

TimingProbe::TimingProbe(QObject *parent)
    : QObject(parent)
{
}

TimingProbe::~TimingProbe()
{
    cancel();
}

void TimingProbe::cancel()
{
    if (m_cancel)
        *m_cancel = true;
    m_cancel.reset();
}

void TimingProbe::start(const QString &video, const QString &subtitle)
{
    cancel();
    auto flag = std::make_shared<std::atomic<bool>>(false);
    m_cancel = flag;
    WorkerThreads::start(u"ThreadTiming"_s, [flag, video, subtitle, self = QPointer<TimingProbe>(this)] {
        const auto stop = [&flag] { return flag->load() || WorkerThreads::stopping(); };
        TimingMeasurement measurement = TimingCheck::measure(video, subtitle, stop);
        if (stop())
            return;
        // The probe is only looked at on the main thread, where it lives.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, flag, measurement = std::move(measurement)] {
                if (!self || self->m_cancel != flag)
                    return; // cancelled, or another measurement started since
                self->m_cancel.reset();
                Q_EMIT self->measured(measurement);
            },
            Qt::QueuedConnection);
    });
}
