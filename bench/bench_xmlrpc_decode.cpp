// Time to turn the bytes of a service reply into values.
// Usage: bench_xmlrpc_decode [benchmark options] FILE...
#include "service/XMLRPC.h"

#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

// The streaming reader: bytes to values in one pass.
void parseDocument(benchmark::State &state, const QByteArray &xml)
{
    for (auto _ : state) {
        XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(xml);
        benchmark::DoNotOptimize(doc);
        if (!doc.ok() || doc.params.isEmpty())
            state.SkipWithError("document did not read");
    }
    state.SetBytesProcessed(state.iterations() * xml.size());
}

// A DOM tree first, then Decode of the first param's value.
void domDecode(benchmark::State &state, const QByteArray &xml)
{
    for (auto _ : state) {
        QDomDocument doc;
        if (!doc.setContent(xml))
            state.SkipWithError("document did not parse");
        const QDomElement value =
            doc.documentElement().firstChildElement(u"params"_s).firstChildElement().firstChildElement();
        Variant v = XMLRPC::Decode(value.firstChildElement());
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(state.iterations() * xml.size());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s [benchmark options] FILE...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        QFile f(QString::fromLocal8Bit(argv[i]));
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const QByteArray xml = f.readAll();
        const std::string name = QFileInfo(f.fileName()).completeBaseName().toStdString();
        benchmark::RegisterBenchmark(("ParseDocument/" + name).c_str(), parseDocument, xml)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DomDecode/" + name).c_str(), domDecode, xml)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
