#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// One run of the external player: started with an argument vector (never a
// shell line), its merged output delivered in chunks as it arrives, lines
// written to its standard input while it runs. ProcessPlayerShell is the real
// one; tests put a fake in its place.
class PlayerShell : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PlayerShell() override = default;

    virtual void start(const QString &program, const QStringList &arguments) = 0;
    virtual bool isRunning() const = 0;
    // Writes `line` and a line feed to the player's standard input.
    virtual void writeLine(const QByteArray &line) = 0;
    // Ends the run if it is still going; finished() follows.
    virtual void stop() = 0;

signals:
    void output(const QByteArray &chunk);
    // The run ended (after it started), whatever its exit status.
    void finished();
    // The run could not start (no such program, not executable).
    void failedToStart(const QString &reason);
};
