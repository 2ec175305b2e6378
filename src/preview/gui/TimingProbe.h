#pragma once

#include "timing/TimingCheck.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

// Measures a subtitle against its video's speech on a worker thread, so a
// window never waits for the decoding, and hands the measurement back on the
// main thread. The measurement stops within a second when the probe is
// cancelled or destroyed (its window closed) or the program ends; a
// cancelled measurement is never reported.
class TimingProbe final : public QObject {
    Q_OBJECT
public:
    explicit TimingProbe(QObject *parent = nullptr);
    ~TimingProbe() override;

    // Starts measuring; a measurement still under way is cancelled first.
    void start(const QString &video, const QString &subtitle);
    void cancel();
    bool running() const { return m_cancel != nullptr; }

Q_SIGNALS:
    void measured(const TimingMeasurement &measurement);

private:
    // The flag of the measurement under way, shared with its worker.
    std::shared_ptr<std::atomic<bool>> m_cancel;
};
