#pragma once

#include <QElapsedTimer>
#include <QString>

// A scoped timing trace. Creating one writes "<label> Entered"; destroying it
// writes "<label> 12.345ms", with " (missing Xms, Y%)" when more than a tenth
// of the time was not spent in traces nested inside it. Lines go to the debug
// log (category "lumbra.profiler", two spaces of indent per level) and are
// appended to methodprofiler.log (one tab per level) in the folder set with
// setLogFolder(), else the application's data folder. Nesting is counted per
// thread; writing is thread-safe.
class MethodProfiler final {
public:
    explicit MethodProfiler(const QString &label);
    ~MethodProfiler();

    MethodProfiler(const MethodProfiler &) = delete;
    MethodProfiler &operator=(const MethodProfiler &) = delete;

    // Where the trace file lies.
    static QString logFilePath();
    // The desktop application keeps its log on the desktop.
    static void setLogFolder(const QString &folder);

private:
    QString m_label;
    QElapsedTimer m_timer;
    qint64 m_nestedNs = 0;
    MethodProfiler *m_parent = nullptr;
};
