// Movie hashes of every file in a folder, with the page cache warm.
// Usage: bench_moviehash [benchmark options] FOLDER
#include "media/MovieHash.h"

#include <QDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void movieHashes(benchmark::State &state, const QStringList &files)
{
    for (auto _ : state) {
        for (const QString &file : files) {
            QString hash = XMLRPC::getMoviehash(file);
            benchmark::DoNotOptimize(hash);
        }
    }
    state.SetItemsProcessed(state.iterations() * files.size());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [benchmark options] FOLDER\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QStringList files;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        files << dir.filePath(name);
    // One pass first so every chunk is in the page cache.
    for (const QString &file : std::as_const(files)) {
        if (XMLRPC::getMoviehash(file).isEmpty()) {
            std::fprintf(stderr, "no hash for %s\n", qPrintable(file));
            return 1;
        }
    }
    benchmark::RegisterBenchmark(("MovieHash/" + std::to_string(files.size()) + "files").c_str(), movieHashes,
                                 files)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
