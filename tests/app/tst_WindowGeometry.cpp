#include "TestMain.h"
#include "window/WindowGeometry.h"

#include <QTest>

using namespace WindowGeometry;

// Rectangles are (left, top, width, height). The screen used by most cases is
// 1280 x 800 with a 27-pixel panel at the top.
class tst_WindowGeometry final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void screenIndexes_data();
    void screenIndexes();
    void variantA_data();
    void variantA();
    void variantB_data();
    void variantB();
    void keepInside_data();
    void keepInside();
    void zoom();
    void keys();
};

void tst_WindowGeometry::screenIndexes_data()
{
    QTest::addColumn<double>("savedScreen");
    QTest::addColumn<int>("savedCount");
    QTest::addColumn<int>("screens");
    QTest::addColumn<int>("index");

    QTest::newRow("nothing saved") << 0.0 << 0 << 1 << 0;
    QTest::newRow("second screen kept") << 1.0 << 2 << 2 << 1;
    QTest::newRow("fraction dropped") << 1.9 << 0 << 2 << 1;
    QTest::newRow("negative") << -3.0 << 0 << 2 << 0;
    QTest::newRow("screen count went down") << 1.0 << 3 << 2 << 0;
    QTest::newRow("screen no longer there") << 2.0 << 0 << 2 << 0;
    QTest::newRow("count missing, index valid") << 1.0 << 0 << 2 << 1;
    QTest::newRow("absurd index") << 1e300 << 0 << 2 << 0;
    QTest::newRow("not a number") << qQNaN() << 0 << 2 << 0;
}

void tst_WindowGeometry::screenIndexes()
{
    QFETCH(double, savedScreen);
    QFETCH(int, savedCount);
    QFETCH(int, screens);
    QFETCH(int, index);
    QCOMPARE(screenIndex(savedScreen, savedCount, screens), index);
}

void tst_WindowGeometry::variantA_data()
{
    QTest::addColumn<QRect>("saved"); // Left, top, width, height as saved
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");

    const QRect screen(0, 0, 1280, 800);
    const QRect available(0, 27, 1280, 773);
    QTest::newRow("first start: minimum size at the available top-left")
        << QRect(0, 0, 0, 0) << screen << available << QRect(0, 27, 760, 470);
    QTest::newRow("saved geometry restored")
        << QRect(100, 120, 900, 600) << screen << available << QRect(100, 120, 900, 600);
    QTest::newRow("oversized width and height clamp to the available area")
        << QRect(40, 50, 3000, 2000) << screen << available << QRect(40, 50, 1280, 773);
    QTest::newRow("smaller than the minimum")
        << QRect(10, 30, 200, 100) << screen << available << QRect(10, 30, 760, 470);
    QTest::newRow("screen narrower than the minimum keeps the minimum width")
        << QRect(0, 0, 2000, 2000) << QRect(0, 0, 640, 480) << QRect(0, 0, 640, 480) << QRect(0, 0, 760, 480);
    QTest::newRow("far right is not pulled back")
        << QRect(2500, 40, 800, 500) << screen << available << QRect(2500, 40, 800, 500);
    QTest::newRow("dock on the left")
        << QRect(0, 0, 0, 0) << screen << QRect(64, 0, 1216, 800) << QRect(64, 0, 760, 470);
}

void tst_WindowGeometry::variantA()
{
    QFETCH(QRect, saved);
    QFETCH(QRect, screen);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    Saved values;
    values.left = saved.x();
    values.top = saved.y();
    values.width = saved.width();
    values.height = saved.height();
    QCOMPARE(placeVariantA(values, screen, available, QSize(760, 470)), expected);
}

void tst_WindowGeometry::variantB_data()
{
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QPoint>("current");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QRect>("expected");

    const QRect available(0, 27, 1280, 773);
    const QSize home(320, 162);
    const QSize upload(760, 470);
    QTest::newRow("home, first start: where it stands, minimum size")
        << QRect(0, 0, 0, 0) << QPoint(200, 150) << available << home << QRect(200, 150, 320, 162);
    QTest::newRow("saved place restored")
        << QRect(400, 300, 320, 162) << QPoint(0, 27) << available << home << QRect(400, 300, 320, 162);
    QTest::newRow("never left of or above the current place")
        << QRect(10, 10, 320, 162) << QPoint(0, 27) << available << home << QRect(10, 27, 320, 162);
    QTest::newRow("oversized width ends at the right edge")
        << QRect(100, 50, 3000, 600) << QPoint(0, 27) << available << upload << QRect(100, 50, 1180, 600);
    QTest::newRow("far right on a smaller screen moves to x = 3")
        << QRect(2500, 100, 320, 162) << QPoint(0, 27) << available << home << QRect(3, 100, 320, 162);
    QTest::newRow("far right and too wide: minimum width at x = 3")
        << QRect(2500, 100, 1400, 500) << QPoint(0, 27) << available << upload << QRect(3, 100, 760, 500);
    QTest::newRow("just fits: strict comparison")
        << QRect(960, 50, 320, 162) << QPoint(0, 27) << available << home << QRect(960, 50, 320, 162);
    QTest::newRow("oversized height ends at the available height")
        << QRect(100, 100, 800, 2000) << QPoint(0, 27) << available << upload << QRect(100, 100, 800, 673);
    QTest::newRow("far down: 3 below the available top")
        << QRect(100, 1500, 320, 162) << QPoint(0, 27) << available << home << QRect(100, 30, 320, 162);
    QTest::newRow("far down and too tall: minimum height")
        << QRect(100, 1500, 800, 900) << QPoint(0, 27) << available << upload << QRect(100, 30, 800, 470);
    QTest::newRow("absurd saved values stay on the area")
        << QRect(1000000000, 1000000000, 1000000000, 1000000000) << QPoint(0, 27) << available << home
        << QRect(3, 30, 320, 162);
}

void tst_WindowGeometry::variantB()
{
    QFETCH(QRect, saved);
    QFETCH(QPoint, current);
    QFETCH(QRect, available);
    QFETCH(QSize, minimum);
    QFETCH(QRect, expected);
    Saved values;
    values.left = saved.x();
    values.top = saved.y();
    values.width = saved.width();
    values.height = saved.height();
    QCOMPARE(placeVariantB(values, current, available, minimum), expected);
}

void tst_WindowGeometry::keepInside_data()
{
    QTest::addColumn<QRect>("outer");
    QTest::addColumn<QRect>("placed");
    // A 1024 x 741 area below a 27-pixel panel; windows at least 600 x 400.
    QTest::newRow("inside stays") << QRect(100, 100, 700, 500) << QRect(100, 100, 700, 500);
    QTest::newRow("title bar above the area") << QRect(100, 0, 700, 500) << QRect(100, 27, 700, 500);
    QTest::newRow("past the right edge") << QRect(500, 100, 700, 500) << QRect(324, 100, 700, 500);
    QTest::newRow("past the bottom") << QRect(100, 500, 700, 500) << QRect(100, 268, 700, 500);
    QTest::newRow("larger than the area") << QRect(-50, -50, 2000, 2000) << QRect(0, 27, 1024, 741);
    QTest::newRow("never below the minimum") << QRect(10, 30, 100, 100) << QRect(10, 30, 600, 400);
}

void tst_WindowGeometry::keepInside()
{
    QFETCH(QRect, outer);
    QFETCH(QRect, placed);
    QCOMPARE(WindowGeometry::keepInside(outer, QRect(0, 27, 1024, 741), QSize(600, 400)), placed);
}

void tst_WindowGeometry::zoom()
{
    QCOMPARE(zoomRect(QRect(64, 27, 1216, 773), QSize(760, 470)), QRect(64, 27, 760, 470));
}

void tst_WindowGeometry::keys()
{
    const QString p = QStringLiteral("homeWindow");
    QCOMPARE(leftKey(p), QStringLiteral("homeWindow.Left"));
    QCOMPARE(topKey(p), QStringLiteral("homeWindow.top"));
    QCOMPARE(widthKey(p), QStringLiteral("homeWindow.width"));
    QCOMPARE(heightKey(p), QStringLiteral("homeWindow.height"));
    QCOMPARE(screenKey(p), QStringLiteral("homeWindow.screen"));
    QCOMPARE(screenCountWriteKey(p), QStringLiteral("homeWindow.screencount"));
    QCOMPARE(screenCountReadKey(), QStringLiteral("screenCount"));
}

LUMBRA_TEST_APPLESS_MAIN(tst_WindowGeometry)
#include "tst_WindowGeometry.moc"
