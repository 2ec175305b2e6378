#include "TestMain.h"

#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Registration {
    const char *className;
    const char *source;
    LumbraTest::Runner run;
};

std::vector<Registration> &registry()
{
    static std::vector<Registration> tests;
    return tests;
}

// "tst_MovieHash" for .../tests/media/tst_MovieHash.cpp
QString fileName(const char *source)
{
    return QFileInfo(QString::fromLocal8Bit(source)).completeBaseName();
}

// "media" for .../tests/media/tst_MovieHash.cpp
QString areaName(const char *source)
{
    return QFileInfo(QFileInfo(QString::fromLocal8Bit(source)).path()).fileName();
}

const Registration *find(const char *wanted)
{
    const QString name = QString::fromLocal8Bit(wanted);
    for (const Registration &test : registry()) {
        if (name == fileName(test.source) || name == QLatin1StringView(test.className))
            return &test;
    }
    return nullptr;
}

int usage(const char *program)
{
    std::fprintf(stderr, "usage: %s TEST [Qt Test arguments]\ntests:", program);
    for (const Registration &test : registry())
        std::fprintf(stderr, " %s", qPrintable(fileName(test.source)));
    std::fprintf(stderr, "\n");
    return 2;
}

} // namespace

bool LumbraTest::registerTest(const char *className, const char *source, Runner run)
{
    registry().push_back({className, source, run});
    return true;
}

int main(int argc, char *argv[])
{
    const Registration *test = argc > 1 ? find(argv[1]) : nullptr;
    if (!test)
        return usage(argv[0]);

    // Qt Test sees only its own arguments, and the program keeps the name it had
    // when every test file was an executable of its own (QCoreApplication names
    // the temporary folders and settings after it).
    std::vector<char *> args{argv[0]};
    args.insert(args.end(), argv + 2, argv + argc);
    args.push_back(nullptr);
    QCoreApplication::setApplicationName(areaName(test->source) + u'_' + fileName(test->source));
    return test->run(test->source, argc - 1, args.data());
}
