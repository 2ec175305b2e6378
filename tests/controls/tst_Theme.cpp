#include "controls/ResourcePaths.h"
#include "controls/Theme.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

// A picture file in the test's resource folder: a black, opaque square.
void writePicture(const QString &root, const QString &folder, const QString &name, int size = 8)
{
    QDir().mkpath(root + u"/Images/"_s + folder);
    QImage picture(size, size, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    QVERIFY(picture.save(root + u"/Images/"_s + folder + u'/' + name + u".png"_s));
}

// The smallest rectangle holding every pixel that is not fully transparent.
QRect opaqueBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

} // namespace

class tst_Theme final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_root.isValid());
        ResourcePaths::setResourceRoot(m_root.path());
    }
    void cleanup() { ResourcePaths::setResourceRoot({}); }

    // Each test uses folder names of its own: the cache lives as long as the program.
    void pictureIsReadOnce()
    {
        writePicture(m_root.path(), u"ReadOnce"_s, u"pic"_s);
        QVERIFY(!Theme::getPic(u"pic"_s, u"ReadOnce"_s).isNull());
        QVERIFY(QFile::remove(m_root.path() + u"/Images/ReadOnce/pic.png"_s));
        QCOMPARE(Theme::getPic(u"pic"_s, u"ReadOnce"_s).size(), QSize(8, 8));
    }

    void missingPictureIsLookedForAgain()
    {
        QVERIFY(Theme::getPic(u"late"_s, u"Missing"_s).isNull());
        writePicture(m_root.path(), u"Missing"_s, u"late"_s);
        QVERIFY(!Theme::getPic(u"late"_s, u"Missing"_s).isNull());
    }

    void unreadablePictureIsNone()
    {
        QDir().mkpath(m_root.path() + u"/Images/Broken"_s);
        QFile file(m_root.path() + u"/Images/Broken/junk.png"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QVERIFY(Theme::getPic(u"junk"_s, u"Broken"_s).isNull());
    }

    void letterCaseSharesOneEntry()
    {
        writePicture(m_root.path(), u"CaseFolder"_s, u"Icon"_s);
        // Found whatever the case of the request, like on a case-insensitive disk...
        QVERIFY(!Theme::getPic(u"ICON"_s, u"casefolder"_s).isNull());
        QVERIFY(QFile::remove(m_root.path() + u"/Images/CaseFolder/Icon.png"_s));
        // ...and another spelling is served from the same entry, without the file.
        QVERIFY(!Theme::getPic(u"icon"_s, u"CASEFOLDER"_s).isNull());
        QVERIFY(!Theme::getPic(u"Icon"_s, u"CaseFolder"_s).isNull());
    }

    void tintPlacement_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("icon");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("scaled down") << QSize(60, 60) << QSize(110, 110) << QRect(0, 0, 60, 60);
        QTest::newRow("never up, centred") << QSize(160, 200) << QSize(110, 110) << QRect(25, 45, 110, 110);
        QTest::newRow("wide icon keeps proportions")
            << QSize(60, 60) << QSize(100, 50) << QRect(0, 15, 60, 30);
        QTest::newRow("scale truncates") << QSize(50, 50) << QSize(110, 110) << QRect(0, 0, 50, 50);
        QTest::newRow("odd room") << QSize(33, 20) << QSize(10, 10) << QRect(11, 5, 10, 10);
    }
    void tintPlacement()
    {
        QFETCH(QSize, target);
        QFETCH(QSize, icon);
        QFETCH(QRect, placed);
        QCOMPARE(Theme::TintPlacement(target, icon), placed);

        // The painted picture agrees with the placement and carries the colour.
        QImage shape(icon, QImage::Format_ARGB32);
        shape.fill(Qt::black);
        QImage into(target, QImage::Format_RGB32);
        const QColor green(0x72, 0xBF, 0xA1);
        const QImage tinted = Theme::IconAtColor(into, shape, green);
        QCOMPARE(tinted.size(), target);
        QCOMPARE(opaqueBounds(tinted), placed);
        const QRgb centre = tinted.pixel(placed.center());
        QCOMPARE(qAlpha(centre), 255);
        QCOMPARE(QColor(centre).rgb(), green.rgb());
    }

    void tintNoneIsNone()
    {
        QImage target(10, 10, QImage::Format_ARGB32);
        QVERIFY(Theme::IconAtColor(target, QImage(), Qt::red).isNull());
        QVERIFY(Theme::IconAtColor(QImage(), Qt::red).isNull());
    }

    void iconAtColorShowsDarkOnly()
    {
        QImage icon(4, 1, QImage::Format_ARGB32);
        icon.setPixel(0, 0, qRgba(0, 0, 0, 255));       // dark: the colour shows
        icon.setPixel(1, 0, qRgba(255, 255, 255, 255)); // light: nothing shows
        icon.setPixel(2, 0, qRgba(0, 0, 0, 0));         // transparent: nothing shows
        icon.setPixel(3, 0, qRgba(128, 128, 128, 255)); // grey: half shows
        const QImage tinted =
            Theme::IconAtColor(icon, QColor(200, 10, 20)).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(tinted.pixel(0, 0), qRgba(200, 10, 20, 255));
        QCOMPARE(qAlpha(tinted.pixel(1, 0)), 0);
        QCOMPARE(qAlpha(tinted.pixel(2, 0)), 0);
        QVERIFY(qAbs(qAlpha(tinted.pixel(3, 0)) - 127) <= 2);
    }

    void maskedCutsToShape()
    {
        QImage flag(4, 1, QImage::Format_RGB32);
        flag.fill(QColor(10, 20, 30));
        QImage mask(4, 1, QImage::Format_ARGB32);
        mask.fill(Qt::transparent);
        mask.setPixel(1, 0, qRgba(0, 0, 0, 255));
        const QImage cut = Theme::Masked(flag, mask);
        QCOMPARE(qAlpha(cut.pixel(0, 0)), 0);
        QCOMPARE(cut.pixel(1, 0), qRgba(10, 20, 30, 255));
        QVERIFY(Theme::Masked(QImage(), mask).isNull());
    }

    void findFontSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("fits a line") << u"Drop Videos"_s << 120 << 40;
        QTest::newRow("narrow box") << u"Drag subtitles"_s << 30 << 40;
        QTest::newRow("flat box") << u"Hi"_s << 200 << 9;
        QTest::newRow("too small for any text") << u"Drag Videos Here"_s << 2 << 2;
        QTest::newRow("whole device") << u"Wide text that will not fit"_s << -1 << -1;
    }
    void findFontSize()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(int, height);
        QImage device(50, 30, QImage::Format_ARGB32);
        QPainter g(&device);
        g.setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
        int fitted = -1;
        QVERIFY(Theme::FindFontSize(g, text, width, height, &fitted));
        const int w = width == -1 ? 50 : width;
        const int h = height == -1 ? 30 : height;
        QVERIFY(fitted >= 0 && fitted <= std::min(w, h));
        auto fits = [&](int size) {
            QFont font = g.font();
            font.setPixelSize(size);
            const QFontMetrics metrics(font, &device);
            return metrics.horizontalAdvance(text) <= w && metrics.ascent() <= h;
        };
        if (fitted > 0) {
            QCOMPARE(g.font().pixelSize(), fitted);
            QVERIFY(fits(fitted));
        }
        // The size is the largest that fits: one more would not (unless the start was reached).
        if (fitted < std::min(w, h))
            QVERIFY(!fits(fitted + 1));
    }

    void lighten()
    {
        QImage picture(2, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(0, 0, 0, 255));
        picture.setPixel(1, 0, qRgba(100, 50, 0, 128));

        const QImage same = Theme::Lighten(picture, 0);
        QCOMPARE(same.convertToFormat(QImage::Format_ARGB32), picture);

        const QImage white = Theme::Lighten(picture, 1).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(white.size(), picture.size());
        QCOMPARE(white.pixel(0, 0), qRgba(255, 255, 255, 255));
        QCOMPARE(qAlpha(white.pixel(1, 0)), 128); // the mask is kept
        QVERIFY(qRed(white.pixel(1, 0)) >= 253);

        // 0.7, the list's fade: 70 % white over black.
        const QRgb faded = Theme::Lighten(picture, 0.7).pixel(0, 0);
        QVERIFY(qAbs(qRed(faded) - 179) <= 1);
        QCOMPARE(qAlpha(faded), 255);

        QVERIFY(Theme::Lighten(QImage(), 0.5).isNull());
        QCOMPARE(picture.pixel(0, 0), qRgba(0, 0, 0, 255)); // the source is untouched
    }

    void copy()
    {
        QImage picture(2, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(200, 0, 0, 0)); // colour hidden by the mask
        picture.setPixel(1, 0, qRgba(0, 0, 200, 255));
        picture.setDotsPerMeterX(5000);
        picture.setDotsPerMeterY(6000);
        picture.setText(u"Comment"_s, u"flag"_s);
        QImage copy = Theme::Copy(picture, false);
        QCOMPARE(copy.pixel(0, 0), qRgba(200, 0, 0, 0));
        QCOMPARE(copy.pixel(1, 0), qRgba(0, 0, 200, 255));
        QCOMPARE(copy.dotsPerMeterX(), 5000);
        QCOMPARE(copy.dotsPerMeterY(), 6000);
        QCOMPARE(copy.text(u"Comment"_s), u"flag"_s);
        QVERIFY(Theme::HasMask(copy));
        copy.setPixel(1, 0, qRgba(1, 1, 1, 255));
        QCOMPARE(picture.pixel(1, 0), qRgba(0, 0, 200, 255));

        QImage grey(3, 3, QImage::Format_Grayscale8);
        grey.fill(90);
        QCOMPARE(Theme::Copy(grey, false).depth(), 8);
        QCOMPARE(Theme::Copy(grey, true).depth(), 32);
        QVERIFY(!Theme::HasMask(Theme::Copy(grey, true)));
        QVERIFY(Theme::Copy(QImage(), true).isNull());
        QCOMPARE(Theme::Gray(90), QColor(90, 90, 90));
    }

    void shippedThemePictures_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name :
             {"selectactivo", "selectnoactivo", "circlemask", "omicheck", "errorerror", "disclosed", "closed",
              "Cuadroarrastre110", "iconoseleccionar", "iconosubir", "iconobajar"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void shippedThemePictures()
    {
        QFETCH(QString, name);
        ResourcePaths::setResourceRoot({});
        const QImage picture = Theme::getPic(name, u"Theme"_s);
        QVERIFY2(!picture.isNull(), qPrintable(ResourcePaths::rsrcsF()));
        // Shapes to be tinted: something dark and opaque, and transparent ground.
        QVERIFY(Theme::HasMask(picture));
        const QImage tinted = Theme::IconAtColor(picture, Qt::red);
        QVERIFY(!opaqueBounds(tinted).isEmpty());
        QVERIFY(opaqueBounds(tinted) != picture.rect() || name == "circlemask"_L1 ||
                name == "selectactivo"_L1);
    }

    void sharedAcrossThreads()
    {
        // Workers and the interface thread ask the same store; every one gets
        // the picture, and all share one image of it.
        for (int i = 0; i < 6; ++i)
            writePicture(m_root.path(), u"Threads"_s, u"pic%1"_s.arg(i));
        std::atomic<int> found = 0;
        std::array<std::atomic<qint64>, 6> imageOf{};
        std::atomic<bool> shared = true;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int round = 0; round < 20; ++round) {
                    for (int i = 0; i < 6; ++i) {
                        const QImage pic = Theme::getPic(u"PIC%1"_s.arg(i), u"threads"_s);
                        if (!Theme::Lighten(Theme::IconAtColor(pic, Qt::red), 0.7).isNull())
                            ++found;
                        qint64 first = 0;
                        if (!imageOf[i].compare_exchange_strong(first, pic.cacheKey()) &&
                            first != pic.cacheKey())
                            shared = false;
                    }
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(found.load(), 4 * 20 * 6);
        QVERIFY(shared);
    }

    void shippedFonts()
    {
        ResourcePaths::setResourceRoot({});
        QVERIFY(QFile::exists(ResourcePaths::subtitleFontPath()));
        QVERIFY(ResourcePaths::registerBundledFonts());
        QVERIFY(QFontDatabase::families().contains(u"FontAwesome"_s));
        const QFontMetrics awesome(QFont(u"FontAwesome"_s, 18));
        for (char16_t glyph : {u'\uF04B', u'\uF04A', u'\uF04E'})
            QVERIFY(awesome.inFont(QChar(glyph)));
    }
};

LUMBRA_TEST_MAIN(tst_Theme)
#include "tst_Theme.moc"
