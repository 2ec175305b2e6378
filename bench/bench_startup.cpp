// Start-up to the home window on screen, and the memory in use once idle.
//
//   bench_startup [RUNS]      runs each program RUNS times (default 10) and prints medians
//
// Each run is a fresh process with a private home. Two programs are measured side
// by side: Lumbra (the real start-up path: single instance, preferences, resources,
// home window) and a baseline, a bare Qt Widgets program that shows one 320 x 162
// window with two painted panels. "spawn" is the wall time from starting the process
// to the window's first paint as seen by the parent (loading included); "in-process"
// is from main() to that paint; RSS is read from /proc after two idle seconds.

#include "app/App.h"
#include "app/homeWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

std::chrono::steady_clock::time_point g_start;

long residentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Reports the first paint of every widget in `painted` (all of them painted =
// the window is on screen), then the RSS after two idle seconds, then quits.
class ShownProbe final : public QObject {
public:
    explicit ShownProbe(std::function<QWidget *()> window)
        : m_window(std::move(window))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_reported && event->type() == QEvent::Paint && watched->isWidgetType()) {
            QWidget *window = m_window();
            if (window && static_cast<QWidget *>(watched)->window() == window)
                m_painted.insert(watched);
            if (window && m_painted.size() >= 3) { // the window and its two panels
                m_reported = true;
                const auto ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start);
                std::printf("shown %.3f\n", ms.count());
                std::fflush(stdout);
                QTimer::singleShot(2000, qApp, [] {
                    std::printf("rss %ld\n", residentKiB());
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            }
        }
        return false;
    }

private:
    std::function<QWidget *()> m_window;
    QSet<QObject *> m_painted;
    bool m_reported = false;
};

class Panel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter g(this);
        g.fillRect(rect(), QColor(241, 240, 235));
        g.setPen(QPen(QColor(83, 84, 86), 4, Qt::DashLine));
        g.drawRoundedRect(rect().adjusted(25, 25, -25, -25), 12, 12);
        g.drawText(rect(), Qt::AlignCenter, u"Drag here"_s);
    }
};

int runLumbra(int argc, char **argv)
{
    App app(argc, argv);
    ShownProbe probe([] { return static_cast<QWidget *>(App::instance()->home()); });
    return app.run();
}

int runBaseline(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(320, 162);
    (new Panel(&window))->setGeometry(0, 2, 160, 160);
    (new Panel(&window))->setGeometry(160, 2, 160, 160);
    ShownProbe probe([&window] { return &window; });
    window.show();
    return app.exec();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

struct Sample {
    double spawnMs = 0;
    double inProcessMs = 0;
    double rssKiB = 0;
};

bool measure(const QString &program, const QString &mode, Sample *sample)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    env.insert(u"XDG_CACHE_HOME"_s, home.filePath(u"cache"_s));
    env.insert(u"XDG_RUNTIME_DIR"_s, home.path());
    env.insert(u"LUMBRA_BENCH_MODE"_s, mode);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(program, {});
    bool shown = false;
    while (child.waitForReadyRead(20000)) {
        while (child.canReadLine()) {
            const QList<QByteArray> words = child.readLine().trimmed().split(' ');
            if (words.value(0) == "shown") {
                sample->spawnMs = double(clock.nsecsElapsed()) / 1e6;
                sample->inProcessMs = words.value(1).toDouble();
                shown = true;
            } else if (words.value(0) == "rss") {
                sample->rssKiB = words.value(1).toDouble();
            }
        }
        if (sample->rssKiB > 0)
            break;
    }
    child.waitForFinished(10000);
    return shown && sample->rssKiB > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    g_start = std::chrono::steady_clock::now();
    const QByteArray mode = qgetenv("LUMBRA_BENCH_MODE");
    if (mode == "lumbra")
        return runLumbra(argc, argv);
    if (mode == "baseline")
        return runBaseline(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTextStream out(stdout);
    out << "platform: " << qEnvironmentVariable("QT_QPA_PLATFORM", u"(default)"_s) << ", runs: " << runs
        << Qt::endl;
    QMap<QString, QList<Sample>> samples;
    for (int i = 0; i < runs; ++i) {
        for (const QString &which : {u"baseline"_s, u"lumbra"_s}) {
            Sample s;
            if (!measure(QCoreApplication::applicationFilePath(), which, &s)) {
                out << which << ": run failed" << Qt::endl;
                return 1;
            }
            samples[which].append(s);
        }
    }
    out << "program    spawn-to-shown(ms)  main-to-shown(ms)  idle RSS(MiB)   (medians)" << Qt::endl;
    for (const QString &which : {u"baseline"_s, u"lumbra"_s}) {
        QList<double> spawn, inProcess, rss;
        for (const Sample &s : samples[which]) {
            spawn.append(s.spawnMs);
            inProcess.append(s.inProcessMs);
            rss.append(s.rssKiB / 1024.0);
        }
        out << qSetFieldWidth(10) << Qt::left << which << qSetFieldWidth(20)
            << QString::number(median(spawn), 'f', 1) << qSetFieldWidth(19)
            << QString::number(median(inProcess), 'f', 1) << qSetFieldWidth(0)
            << QString::number(median(rss), 'f', 1) << Qt::endl;
    }
    return 0;
}
