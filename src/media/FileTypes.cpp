#include "media/FileTypes.h"

#include <QStringTokenizer>

using namespace Qt::Literals::StringLiterals;

QStringList FileType::entries() const
{
    return extensions.split(u';', Qt::SkipEmptyParts);
}

bool FileType::hasExtension(const QString &dotExtension) const
{
    return hasExtension(QStringView(dotExtension));
}

bool FileType::hasExtension(QStringView dotExtension) const
{
    if (dotExtension.size() < 2)
        return false;
    // Asked once per file of a whole library: no list is built.
    // Letter case folds one UTF-16 unit to one, so only names of the same
    // length can match: the length rules out most entries cheaply.
    for (const QStringView entry : QStringTokenizer{extensions, u';', Qt::SkipEmptyParts}) {
        if (entry.size() == dotExtension.size() && entry.compare(dotExtension, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

namespace FileTypes {

const FileType MovieTypes{
    u"movieFormats"_s,
    u".avi;.mpg;.mpeg;.wmv;.asf;.divx;.mov;.m2p;.moov;.omf;.qt;.rm;.dv;.3ivx;.mkv;.ogm;.mp4;.m4v;.bin;.flv;.3gp;.webm"_s,
    u"MOVIES"_s, QString()};
const FileType SubTypes{u"subtitleFormats"_s, u".srt;.sub;.txt;.ssa;.smi;.mpl"_s, u"????"_s, QString()};
const FileType JustSubTypes{u"JustSubs"_s, u".srt;.sub;.ssa;.smi;.mpl;.txt"_s, u"???"_s, QString()};
const FileType ITunesMovies{u"iTunesMovies"_s, u".mp4;.m4v"_s, QString(), QString()};
const FileType ConvertableMovies{u"ConvertableMovies"_s,
                                 u".avi;.mpg;.mpeg;.wmv;.asf;.divx;.rm;.dv;.3ivx;.mkv;.ogm;.divx"_s,
                                 u"????"_s, QString()};
const FileType Any{u"special/any"_s, QString(), u"????"_s, u"????"_s};
const FileType folders{u"special/folder"_s, QString(), u"fold"_s, u"MACS"_s};

QString intakeExtensionList()
{
    return MovieTypes.extensions + u';' + SubTypes.extensions;
}

} // namespace FileTypes
