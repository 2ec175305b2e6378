#include "controls/Theme.h"

#include "controls/ResourcePaths.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace Theme {

namespace {

// The cache only grows: each file is read at most once per run, lists repaint from here
// ten times a second.
QMutex g_cacheLock;
QHash<QString, QImage> *g_picDict = nullptr;

// The entry of `dir` called `name` regardless of letter case, or an empty text.
QString entryIgnoringCase(const QString &dir, const QString &name)
{
    const QDir folder(dir);
    const QStringList hits =
        folder.entryList({name}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::CaseSensitive);
    if (!hits.isEmpty())
        return folder.filePath(hits.first());
    const QStringList all = folder.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : all) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return {};
}

// The picture file, found the way a case-insensitive file system would find it.
QString picturePath(const QString &name, const QString &folder)
{
    const QString images = ResourcePaths::rsrcsF() + u"/Images"_s;
    const QString exact = images + u'/' + folder + u'/' + name + u".png"_s;
    if (QFileInfo::exists(exact))
        return exact;
    const QString dir = entryIgnoringCase(images, folder);
    if (dir.isEmpty())
        return {};
    return entryIgnoringCase(dir, name + u".png"_s);
}

// How strongly an icon pixel shows: dark and opaque fully, light or transparent not at all.
inline int coverage(QRgb pixel)
{
    return qAlpha(pixel) * (255 - qGray(pixel)) / 255;
}

} // namespace

QImage getPic(const QString &name, const QString &folder)
{
    const QString key = QString(folder + u'/' + name).toCaseFolded();
    {
        QMutexLocker locker(&g_cacheLock);
        if (!g_picDict)
            g_picDict = new QHash<QString, QImage>; // lives until the program ends
        const auto hit = g_picDict->constFind(key);
        if (hit != g_picDict->constEnd())
            return hit.value();
    }
    // Read outside the lock; two threads racing for the same new picture both
    // read it, and the first to come back is the one kept, so that every
    // caller shares one image and none is freed while another reads it.
    const QString path = picturePath(name, folder);
    if (path.isEmpty())
        return {};
    QImage picture(path);
    if (picture.isNull())
        return {};
    QMutexLocker locker(&g_cacheLock);
    auto kept = g_picDict->constFind(key);
    if (kept == g_picDict->constEnd())
        kept = g_picDict->insert(key, picture);
    return kept.value();
}

QImage IconAtColor(const QImage &icon, const QColor &colour)
{
    if (icon.isNull())
        return {};
    const QImage source = icon.convertToFormat(QImage::Format_ARGB32);
    QImage tinted(source.size(), QImage::Format_ARGB32_Premultiplied);
    const QRgb ink = colour.rgb();
    const int inkAlpha = colour.alpha();
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(tinted.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            out[x] =
                qPremultiply(qRgba(qRed(ink), qGreen(ink), qBlue(ink), coverage(in[x]) * inkAlpha / 255));
    }
    tinted.setDotsPerMeterX(icon.dotsPerMeterX());
    tinted.setDotsPerMeterY(icon.dotsPerMeterY());
    return tinted;
}

QRect TintPlacement(const QSize &target, const QSize &icon)
{
    if (icon.isEmpty())
        return {};
    // Integer arithmetic: a scale of 60/110 times 110 must give 60, not 59.999.
    int width = icon.width();
    int height = icon.height();
    if (target.width() < icon.width() || target.height() < icon.height()) {
        if (qint64(target.width()) * icon.height() <= qint64(target.height()) * icon.width()) {
            width = target.width();
            height = int(qint64(icon.height()) * target.width() / icon.width());
        } else {
            height = target.height();
            width = int(qint64(icon.width()) * target.height() / icon.height());
        }
    }
    return {(target.width() - width) / 2, (target.height() - height) / 2, width, height};
}

QImage IconAtColor(QImage &target, const QImage &icon, const QColor &colour)
{
    if (icon.isNull())
        return {};
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        target = QImage(target.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    const QRect place = TintPlacement(target.size(), icon.size());
    if (place.isEmpty())
        return target;
    const QImage scaled = place.size() == icon.size()
                              ? icon
                              : icon.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(place.topLeft(), IconAtColor(scaled, colour));
    painter.end();
    return target;
}

QImage Masked(const QImage &picture, const QImage &maskIcon)
{
    if (picture.isNull())
        return {};
    QImage result = picture.convertToFormat(QImage::Format_ARGB32);
    const QImage mask = maskIcon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        const auto *maskLine =
            y < mask.height() ? reinterpret_cast<const QRgb *>(mask.constScanLine(y)) : nullptr;
        for (int x = 0; x < result.width(); ++x) {
            const int keep = (maskLine && x < mask.width()) ? coverage(maskLine[x]) : 0;
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), qAlpha(line[x]) * keep / 255);
        }
    }
    return result;
}

bool FindFontSize(QPainter &g, const QString &text, int width, int height, int *fittedSize)
{
    QPaintDevice *device = g.device();
    if (width == -1)
        width = device ? device->width() : 0;
    if (height == -1)
        height = device ? device->height() : 0;
    QFont font = g.font();
    int size = std::min(width, height);
    while (size > 0) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font, device);
        if (metrics.horizontalAdvance(text) <= width && metrics.ascent() <= height)
            break;
        --size;
    }
    font.setPixelSize(std::max(size, 1));
    g.setFont(font);
    if (fittedSize)
        *fittedSize = std::max(size, 0);
    return true;
}

QImage Lighten(const QImage &picture, double amount)
{
    if (picture.isNull())
        return {};
    // One white pixel for every call, stretched over the copy at the wanted strength.
    static const QImage white = [] {
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::white);
        return pixel;
    }();
    amount = std::clamp(amount, 0.0, 1.0);
    const int maskLevel = int((1.0 - amount) * 255); // mask grey: 0 opaque, 255 transparent
    QImage copy = Copy(picture, false);
    if (maskLevel == 255)
        return copy;
    if (copy.format() != QImage::Format_ARGB32 && copy.format() != QImage::Format_ARGB32_Premultiplied &&
        copy.format() != QImage::Format_RGB32)
        copy = copy.convertToFormat(copy.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QPainter painter(&copy);
    // Lighten the colour only: the copy keeps its own mask.
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.setOpacity(1.0 - maskLevel / 255.0);
    painter.drawImage(copy.rect(), white);
    painter.end();
    return copy;
}

QImage Copy(const QImage &picture, bool force32)
{
    if (picture.isNull())
        return {};
    QImage copy = picture.copy();
    if (force32 && copy.depth() != 32)
        copy = copy.convertToFormat(copy.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    copy.setDotsPerMeterX(picture.dotsPerMeterX());
    copy.setDotsPerMeterY(picture.dotsPerMeterY());
    for (const QString &key : picture.textKeys())
        copy.setText(key, picture.text(key));
    return copy;
}

bool HasMask(const QImage &picture)
{
    return !picture.isNull() && picture.hasAlphaChannel();
}

QColor Gray(int level)
{
    return QColor(level, level, level);
}

} // namespace Theme
