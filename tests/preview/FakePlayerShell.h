#pragma once

#include "preview/PlayerShell.h"

#include <QList>
#include <QPointer>

// An in-memory player run: records how it was started and what was written
// to it; the test plays the player's part by calling say() and end().
class FakePlayerShell final : public PlayerShell {
    Q_OBJECT
public:
    // Every shell made so far, in order, while it lives.
    static QList<QPointer<FakePlayerShell>> &made()
    {
        static QList<QPointer<FakePlayerShell>> shells;
        return shells;
    }

    FakePlayerShell() { made().append(this); }

    void start(const QString &program, const QStringList &arguments) override
    {
        m_program = program;
        m_arguments = arguments;
        m_running = true;
    }
    bool isRunning() const override { return m_running; }
    void writeLine(const QByteArray &line) override { m_written.append(line); }
    void stop() override { end(); }

    void say(const QByteArray &chunk) { emit output(chunk); }
    void end()
    {
        if (!m_running)
            return;
        m_running = false;
        emit finished();
    }

    const QString &program() const { return m_program; }
    const QStringList &arguments() const { return m_arguments; }
    const QList<QByteArray> &written() const { return m_written; }

private:
    QString m_program;
    QStringList m_arguments;
    QList<QByteArray> m_written;
    bool m_running = false;
};
