#pragma once

#include "preview/PlayerShell.h"

class QProcess;

// A player run in a QProcess, standard output and error merged.
class ProcessPlayerShell final : public PlayerShell {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProcessPlayerShell)
public:
    explicit ProcessPlayerShell(QObject *parent = nullptr);
    // Ends a run still going and waits briefly for it.
    ~ProcessPlayerShell() override;

    void start(const QString &program, const QStringList &arguments) override;
    bool isRunning() const override;
    void writeLine(const QByteArray &line) override;
    void stop() override;

private:
    QProcess *m_process = nullptr;
};
