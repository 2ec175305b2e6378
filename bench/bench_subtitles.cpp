// Reads and parses subtitle files the way the preview does each time the
// player reports a frame rate (on the main thread), and compares it with the
// floor: reading the same file, decoding it and splitting it into lines.
//
//   bench_subtitles [--cues N] [--runs R]
//
// Files of N cues (default 2000, a long feature film) are made in a
// temporary folder as SRT in UTF-8 and in UTF-16, and as SUB. Each figure is
// the median of R runs (default 21) after one warm-up run.

#include "media/TextEncoding.h"
#include "preview/subClass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

QString srtText(int cues)
{
    QString text;
    for (int i = 0; i < cues; ++i) {
        const int ms = i * 2500;
        const auto stamp = [](int t) {
            return u"%1:%2:%3,%4"_s.arg(t / 3600000, 2, 10, QLatin1Char('0'))
                .arg(t / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(t / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(t % 1000, 3, 10, QLatin1Char('0'));
        };
        text += u"%1\n%2 --> %3\nLine one of cue %1, with some words\nand a second line\n\n"_s.arg(i + 1).arg(
            stamp(ms), stamp(ms + 2000));
    }
    return text;
}

QByteArray subBytes(int cues)
{
    QByteArray bytes;
    for (int i = 0; i < cues; ++i)
        bytes += "{" + QByteArray::number(i * 60) + "}{" + QByteArray::number(i * 60 + 48) +
                 "}Line one of cue " + QByteArray::number(i + 1) + ", with some words|and a second line\n";
    return bytes;
}

double medianMs(int runs, const std::function<void()> &work)
{
    work();
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int cues = 2000;
    int runs = 21;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--cues"_L1)
            cues = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--runs"_L1)
            runs = std::max(1, args[i + 1].toInt());
    }

    QTemporaryDir dir;
    const QString text = srtText(cues);
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const struct {
        const char *label;
        QString name;
        QByteArray bytes;
    } files[] = {
        {"SRT, UTF-8", dir.filePath(u"utf8.srt"_s), text.toUtf8()},
        {"SRT, UTF-16", dir.filePath(u"utf16.srt"_s), QByteArray(utf16.encode(text))},
        {"SUB at 23.976", dir.filePath(u"frames.sub"_s), subBytes(cues)},
    };

    std::printf("%d cues, median of %d runs\n", cues, runs);
    std::printf("%-15s %9s %14s %14s %7s\n", "file", "KiB", "floor ms", "subClass ms", "ratio");
    for (const auto &f : files) {
        QFile out(f.name);
        if (!out.open(QIODevice::WriteOnly) || out.write(f.bytes) != f.bytes.size())
            return 1;
        out.close();
        qsizetype lines = 0;
        const double floor = medianMs(runs, [&] {
            QFile in(f.name);
            if (in.open(QIODevice::ReadOnly))
                lines += decodeText(in.readAll()).split(u'\n').size();
        });
        qsizetype parsed = 0;
        const double full = medianMs(runs, [&] { parsed += subClass(f.name, 23.976).count(); });
        if (lines == 0 || parsed == 0)
            return 1;
        std::printf("%-15s %9.1f %14.3f %14.3f %6.1fx\n", f.label, double(f.bytes.size()) / 1024, floor, full,
                    full / floor);
    }
    return 0;
}
