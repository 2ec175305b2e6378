#pragma once

#include <QString>

#include <mutex>

// Progress of a long command on stderr: a bar redrawn in place when stderr is
// a terminal, one plain line per step otherwise (logs, pipes, tests). Safe to
// call from worker threads.
class CliProgress final {
public:
    CliProgress();
    ~CliProgress();
    CliProgress(const CliProgress &) = delete;
    CliProgress &operator=(const CliProgress &) = delete;

    // A new step; `total` 0 when it has no count.
    void step(const QString &label, int total = 0);
    // Advances the current step to `done` of its total.
    void advance(int done, const QString &detail = {});
    // Ends the bar's line so that later output starts on a new line.
    void finish();

    bool onTerminal() const { return m_terminal; }

private:
    void drawLocked();

    std::mutex m_mutex;
    bool m_terminal = false;
    bool m_lineOpen = false;
    QString m_label;
    QString m_detail;
    int m_total = 0;
    int m_done = 0;
};
