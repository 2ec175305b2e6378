#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "media/MovieHash.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void printUsage(void (*print)(const QString &))
{
    print(u"Usage: lumbra-cli hash [--] FILE..."_s);
    print(u"Prints one line per file: the movie hash (\"-\" when the file is shorter than 64 KiB),"_s);
    print(u"the size in bytes and the path as given. Put \"--\" before paths that start with \"-\"."_s);
}

} // namespace

int runHash(const QStringList &args)
{
    CliArguments arguments(args);
    while (arguments.nextOption()) {
        if (arguments.isFlag("--help"_L1) || arguments.isFlag("-h"_L1)) {
            printUsage(printOut);
            return ExitOk;
        }
        return usageError(u"hash"_s, u"unknown option '%1'"_s.arg(arguments.written()));
    }
    const QStringList &files = arguments.paths();
    if (files.isEmpty())
        return usageError(u"hash"_s, u"no file given"_s);

    bool allRead = true;
    for (const QString &file : std::as_const(files)) {
        const XMLRPC::MovieHashResult result = XMLRPC::computeMovieHash(file);
        if (!result.ok()) {
            printErr(u"lumbra-cli hash: "_s + result.error);
            allRead = false;
            continue;
        }
        const QString hash = result.hash.isEmpty() ? u"-"_s : result.hash;
        printOut(hash + u' ' + QString::number(result.size) + u' ' + file);
    }
    return allRead ? ExitOk : ExitFailed;
}
