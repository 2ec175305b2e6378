// The download window's results list with 300 videos in two languages (two results per
// group, every group open): one refresh of the visible rows, as the refresh tick paints
// it, against the same paint with a painter made afresh (no tinted or round pictures
// kept), and the build of the results view itself.
//
//   build/bench/bench_downloadWindow   (runs offscreen; configure with -DLUMBRA_BUILD_BENCH=ON)
#include "controls/omiListbox.h"
#include "download/gui/DownloadList.h"
#include "download/gui/DownloadListPainter.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMutexLocker>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kVideos = 300;
const QStringList kLanguages{u"en"_s, u"es"_s};

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

void addResult(const std::shared_ptr<movieFile> &video, const QString &language, int n, bool best)
{
    auto result = std::make_shared<openSubtitleItem>();
    result->ISO639 = language;
    result->MovieName = video->movieFileNameShort();
    result->SubFileName =
        video->movieFileNameShort() + u'.' + language + u'.' + QString::number(n) + u".srt"_s;
    result->SubDownloadsCnt = 100 * n;
    result->SubRating = 7.5;
    result->MatchedBy = n == 0 ? u"moviehash"_s : u"fulltext"_s;
    result->myBest = best;
    result->isChecked = best;
    result->SubHash = result->SubFileName;
    result->movieFile = video;
    result->setMovieFolderItemPath(video->path());
    video->addSubtitleResult(result);
}

// A shown window in its results view; null when the files did not list.
struct Fixture {
    QTemporaryDir dir;
    GetSubtitlesWindow *window = nullptr;

    Fixture()
    {
        for (int i = 0; i < kVideos; ++i) {
            QFile file(dir.filePath(
                u"The.Series.S%1E%2.720p.HDTV.x264-GROUP.mkv"_s.arg(i / 20 + 1, 2, 10, QChar(u'0'))
                    .arg(i % 20 + 1, 2, 10, QChar(u'0'))));
            if (!file.open(QIODevice::WriteOnly) || !file.resize(200000))
                return;
        }
        myPrefs::setLanguageList(kLanguages);
        window = new GetSubtitlesWindow;
        window->resize(760, 470);
        window->show();
        window->AAA_BuildFileList(dir.path());
        for (int i = 0; i < 600 && !window->isWindowMode("listed"_L1); ++i)
            settle(50);
        {
            const QMutexLocker guard(&window->records().stateLock());
            for (const auto &video : std::as_const(window->records().movieFiles)) {
                for (const QString &language : kLanguages) {
                    addResult(video, language, 0, true);
                    addResult(video, language, 1, false);
                }
            }
        }
        window->setWindowMode(u"SuccessSearching"_s);
        for (int i = 0; i < 600 && !window->isWindowMode("Searched"_L1); ++i)
            settle(50);
        openAll();
    }
    ~Fixture() { delete window; }

    void openAll()
    {
        omiListbox *list = window->MainList();
        for (int row = list->rowCount() - 1; row >= 0; --row)
            window->list().setGroupOpen(row, true);
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    }
};

std::unique_ptr<Fixture> g_fixture;

Fixture &fixture()
{
    if (!g_fixture)
        g_fixture = std::make_unique<Fixture>();
    return *g_fixture;
}

// One refresh of the visible rows with the window's own painter.
void BM_DownloadWindow_RepaintResults(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.window) {
        state.SkipWithError("the videos were not listed");
        return;
    }
    omiListbox *list = f.window->MainList();
    QImage canvas(list->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        list->render(&canvas);
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.counters["rows"] = list->rowCount();
}
BENCHMARK(BM_DownloadWindow_RepaintResults)->Unit(benchmark::kMicrosecond);

// Baseline: the same refresh with a new painter each time, so every tinted icon and
// round flag is made again.
void BM_DownloadWindow_RepaintResults_FreshPainter(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.window) {
        state.SkipWithError("the videos were not listed");
        return;
    }
    omiListbox *list = f.window->MainList();
    QImage canvas(list->size(), QImage::Format_ARGB32_Premultiplied);
    std::unique_ptr<DownloadListPainter> painter;
    list->setCellBackgroundPaint([&painter](QPainter &g, int row, int column, const QSize &cell) {
        painter->paintBackground(g, row, column, cell);
    });
    list->setCellTextPaint([&painter](QPainter &g, int row, int column, const QSize &cell) {
        painter->paintContent(g, row, column, cell);
    });
    for (auto _ : state) {
        painter = std::make_unique<DownloadListPainter>(f.window->list(), f.window->records());
        list->render(&canvas);
        benchmark::DoNotOptimize(canvas.constBits());
    }
    // Back to a painter that lives as long as the list does.
    static DownloadListPainter kept(f.window->list(), f.window->records());
    list->setCellBackgroundPaint([](QPainter &g, int row, int column, const QSize &cell) {
        kept.paintBackground(g, row, column, cell);
    });
    list->setCellTextPaint(
        [](QPainter &g, int row, int column, const QSize &cell) { kept.paintContent(g, row, column, cell); });
}
BENCHMARK(BM_DownloadWindow_RepaintResults_FreshPainter)->Unit(benchmark::kMicrosecond);

// Building the results view: 600 groups sorted, those without a best result opened.
void BM_DownloadWindow_ListSearchResults(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.window) {
        state.SkipWithError("the videos were not listed");
        return;
    }
    const auto groups = f.window->job()->languageGroups(kLanguages, false);
    for (auto _ : state)
        f.window->list().listSearchResults(groups);
    state.counters["groups"] = double(f.window->list().moviefilesMatched().size());
    f.openAll();
}
BENCHMARK(BM_DownloadWindow_ListSearchResults)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    XPrefs::setFilePathForTesting(scratch.filePath(u"prefs.plist"_s));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_fixture.reset(); // the window goes before the application
    return 0;
}
