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
    QStringList files;
    bool optionsEnded = false;
    for (const QString &arg : args) {
        if (optionsEnded || !arg.startsWith(u'-') || arg == "-"_L1) {
            files.append(arg);
        } else if (arg == "--"_L1) {
            optionsEnded = true;
        } else if (arg == "--help"_L1 || arg == "-h"_L1) {
            printUsage(printOut);
            return ExitOk;
        } else {
            printErr(u"lumbra-cli hash: unknown option '%1'"_s.arg(arg));
            printUsage(printErr);
            return ExitUsage;
        }
    }
    if (files.isEmpty()) {
        printUsage(printErr);
        return ExitUsage;
    }

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
