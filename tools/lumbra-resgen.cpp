// Build-time renderer of the pictures the desktop application ships: our own theme
// drawings and the language flags taken from Debian's iso-flags-svg.
//
//   lumbra-resgen theme OUTDIR DRAWING.svg...
//       renders each drawing at its own size to OUTDIR/<name>.png
//   lumbra-resgen flags TABLE FLAGROOT OUTDIR WIDTH HEIGHT
//       renders one flag per line "code drawing" of TABLE to OUTDIR/<code>.png; a square
//       size prefers FLAGROOT/country-squared, anything else FLAGROOT/country-4x3, and a
//       drawing of another shape is scaled to cover the picture and cut at its centre.
//   lumbra-resgen icon DRAWING.svg OUTDIR SIZE...
//       renders the application icon to OUTDIR/<SIZE>x<SIZE>/apps/<name>.png for each
//       SIZE, the layout of the hicolor icon theme
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "lumbra-resgen: %s\n", qPrintable(message));
    return 1;
}

bool render(const QString &svgPath, const QSize &size, const QString &pngPath, QString *error)
{
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        *error = u"cannot read drawing "_s + svgPath;
        return false;
    }
    const QSize target = size.isValid() ? size : renderer.defaultSize();
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // Cover the picture, keeping the drawing's proportions, and cut what overhangs evenly.
        const QSizeF natural = renderer.viewBoxF().size().isEmpty() ? QSizeF(renderer.defaultSize())
                                                                    : renderer.viewBoxF().size();
        const qreal scale = std::max(target.width() / natural.width(), target.height() / natural.height());
        const QSizeF drawn = natural * scale;
        const QRectF bounds((target.width() - drawn.width()) / 2, (target.height() - drawn.height()) / 2,
                            drawn.width(), drawn.height());
        renderer.render(&painter, bounds);
    }
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    if (!image.save(pngPath, "PNG")) {
        *error = u"cannot write "_s + pngPath;
        return false;
    }
    return true;
}

int renderTheme(const QStringList &args)
{
    if (args.size() < 2)
        return fail(u"usage: theme OUTDIR DRAWING.svg..."_s);
    const QString outDir = args.at(0);
    for (const QString &svg : args.mid(1)) {
        QString error;
        if (!render(svg, QSize(), outDir + u'/' + QFileInfo(svg).completeBaseName() + u".png"_s, &error))
            return fail(error);
    }
    return 0;
}

int renderFlags(const QStringList &args)
{
    if (args.size() != 5)
        return fail(u"usage: flags TABLE FLAGROOT OUTDIR WIDTH HEIGHT"_s);
    QFile table(args.at(0));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(u"cannot read "_s + args.at(0));
    const QString root = args.at(1);
    const QString outDir = args.at(2);
    const QSize size(args.at(3).toInt(), args.at(4).toInt());
    if (size.isEmpty())
        return fail(u"bad flag size"_s);
    QTextStream in(&table);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() != 2)
            return fail(u"bad table line: "_s + line);
        QString svg = root + u"/country-4x3/"_s + fields.at(1) + u".svg"_s;
        const QString square = root + u"/country-squared/"_s + fields.at(1) + u".svg"_s;
        if (size.width() == size.height() && QFileInfo::exists(square))
            svg = square;
        QString error;
        if (!render(svg, size, outDir + u'/' + fields.at(0) + u".png"_s, &error))
            return fail(error);
    }
    return 0;
}

int renderIcon(const QStringList &args)
{
    if (args.size() < 3)
        return fail(u"usage: icon DRAWING.svg OUTDIR SIZE..."_s);
    const QString svg = args.at(0);
    const QString name = QFileInfo(svg).completeBaseName();
    for (const QString &text : args.mid(2)) {
        const int side = text.toInt();
        if (side <= 0)
            return fail(u"bad icon size "_s + text);
        const QString png = u"%1/%2x%2/apps/%3.png"_s.arg(args.at(1)).arg(side).arg(name);
        QString error;
        if (!render(svg, QSize(side, side), png, &error))
            return fail(error);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // A build step has no display; pictures and painters need no more than this.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return fail(u"usage: lumbra-resgen theme|flags|icon ..."_s);
    const QString mode = args.takeFirst();
    if (mode == "theme"_L1)
        return renderTheme(args);
    if (mode == "flags"_L1)
        return renderFlags(args);
    if (mode == "icon"_L1)
        return renderIcon(args);
    return fail(u"unknown mode "_s + mode);
}
