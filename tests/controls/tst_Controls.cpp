#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "controls/omiProgress.h"
#include "TestMain.h"

#include <QDragMoveEvent>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QColor kGreen(0x72, 0xBF, 0xA1);
const QColor kIdle(0x53, 0x54, 0x56);
const QColor kGrey(0xD7, 0xD6, 0xD3);

// A file drag over `widget` at `point`, delivered the way the window system would.
void dragTo(QWidget *widget, const QPoint &point)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(u"/tmp/movie.mkv"_s)});
    // Qt hands drag moves and drops only to the widget that took the drag's entry.
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

// Horizontal bands of rows holding ink of the colour, as [top, bottom] with their
// leftmost and rightmost ink column.
struct Band {
    int top, bottom, left, right;
};
QList<Band> inkBands(const QImage &image, const QColor &ink)
{
    QList<Band> bands;
    bool inBand = false;
    for (int y = 0; y < image.height(); ++y) {
        int left = -1, right = -1;
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            // Antialiased text: count pixels clearly nearer the ink than the background.
            if (qAbs(pixel.red() - ink.red()) + qAbs(pixel.green() - ink.green()) +
                    qAbs(pixel.blue() - ink.blue()) <
                120) {
                if (left < 0)
                    left = x;
                right = x;
            }
        }
        if (left >= 0) {
            if (!inBand)
                bands.append({y, y, left, right});
            Band &band = bands.last();
            band.bottom = y;
            band.left = std::min(band.left, left);
            band.right = std::max(band.right, right);
        }
        inBand = left >= 0;
    }
    return bands;
}

} // namespace

class tst_Controls final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dragInnerArea_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("dragged");
        QTest::newRow("left margin") << QPoint(5, 50) << false;
        QTest::newRow("first inner column") << QPoint(6, 50) << true;
        QTest::newRow("last inner column") << QPoint(154, 50) << true;
        QTest::newRow("right margin") << QPoint(155, 50) << false;
        QTest::newRow("top margin") << QPoint(80, 5) << false;
        QTest::newRow("bottom margin") << QPoint(80, 155) << false;
        QTest::newRow("middle") << QPoint(80, 80) << true;
    }
    void dragInnerArea()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, dragged);
        omiPanel panel;
        panel.resize(160, 160);
        dragTo(&panel, point);
        QCOMPARE(panel.dragged(), dragged);
        QCOMPARE(panel.inkColour(), dragged ? kGreen : kIdle);
    }

    void dragStateEnds()
    {
        omiPanel panel;
        panel.resize(160, 160);
        int drops = 0;
        connect(&panel, &dragCanvas::dropped, &panel, [&drops] { ++drops; });

        dragTo(&panel, {80, 80});
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&panel, &leave);
        QVERIFY(!panel.dragged());

        dragTo(&panel, {80, 80});
        QMimeData data;
        QDropEvent drop(QPointF(80, 80), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&panel, &drop);
        QVERIFY(!panel.dragged());
        QCOMPARE(drops, 1);

        dragTo(&panel, {80, 80});
        QTest::mouseRelease(&panel, Qt::LeftButton, {}, {80, 80});
        QVERIFY(!panel.dragged());
        QVERIFY(!panel.hovered());
        QVERIFY(!panel.pushed());
    }

    void inactiveOrDisabledPanelStaysIdle()
    {
        omiPanel panel;
        panel.resize(160, 160);
        panel.setCaption(u"Drag movies\\nhere"_s);
        panel.setDragCaption(u"Drop movies\\nhere"_s);
        panel.setPicSize(110, 110);

        panel.setIAmActive(0);
        dragTo(&panel, {80, 80});
        QVERIFY(panel.dragged());
        QCOMPARE(panel.inkColour(), kIdle);
        QCOMPARE(panel.captionLayout().first().first, u"Drag movies"_s);

        panel.setIAmActive(1);
        QCOMPARE(panel.inkColour(), kGreen);
        QCOMPARE(panel.captionLayout().first().first, u"Drop movies"_s);

        panel.setEnabled(false);
        QCOMPARE(panel.inkColour(), kGrey);
        QCOMPARE(panel.captionLayout().first().first, u"Drag movies"_s);
    }

    void captionLinesAreCentred()
    {
        omiPanel panel;
        panel.resize(125, 103);
        panel.setPicSize(60, 60);
        panel.setTextSize(12);
        panel.setCaption(u"Drag\\nVideos\\nHere"_s);
        panel.setInnerCaption(true);

        const auto layout = panel.captionLayout();
        QCOMPARE(layout.size(), 3);
        QCOMPARE(layout.at(0).first, u"Drag"_s);
        QCOMPARE(layout.at(2).first, u"Here"_s);
        for (int i = 0; i < 3; ++i) {
            const QRect box = layout.at(i).second;
            QVERIFY2(qAbs(box.left() + box.width() / 2 - 125 / 2) <= 1, qPrintable(layout.at(i).first));
            QCOMPARE(box.height(), 15); // pitch: size + 3 with several lines
            QCOMPARE(box.top(), layout.at(0).second.top() + 15 * i);
        }
        // The block of 45 pixels sits in the middle of the 54-pixel text area of the icon.
        QCOMPARE(layout.at(0).second.top(), (103 - 60) / 2 + 3 + (54 - 45) / 2);

        // What is painted: three bands of ink, each centred under the others.
        QImage image(panel.size(), QImage::Format_RGB32);
        panel.render(&image);
        const QList<Band> bands = inkBands(image, kIdle);
        QCOMPARE(bands.size(), 3);
        for (const Band &band : bands) {
            const int leftRoom = band.left;
            const int rightRoom = image.width() - 1 - band.right;
            QVERIFY2(qAbs(leftRoom - rightRoom) <= 3, qPrintable(u"%1 vs %2"_s.arg(leftRoom).arg(rightRoom)));
            QVERIFY(band.top >= (103 - 60) / 2 && band.bottom < (103 + 60) / 2);
        }
        QVERIFY(panel.checkedFontSize());
    }

    void panelPressOnlyInsideIcon_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("passed");
        // 160 x 160 panel with a 110 x 110 icon: the icon spans 25..135.
        QTest::newRow("inside") << QPoint(80, 80) << true;
        QTest::newRow("left edge") << QPoint(25, 80) << false;
        QTest::newRow("just inside left") << QPoint(26, 80) << true;
        QTest::newRow("right edge") << QPoint(135, 80) << false;
        QTest::newRow("bottom edge") << QPoint(80, 135) << false;
        QTest::newRow("margin") << QPoint(10, 10) << false;
    }
    void panelPressOnlyInsideIcon()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, passed);
        omiPanel panel;
        panel.resize(160, 160);
        panel.setPicSize(110, 110);
        QSignalSpy presses(&panel, &omiPanel::mouseDown);
        QTest::mousePress(&panel, Qt::LeftButton, {}, point);
        QCOMPARE(presses.count(), passed ? 1 : 0);
    }

    void buttonClicks_data()
    {
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("actions");
        // A 100 x 40 button: inside means more than 2 pixels within every edge.
        QTest::newRow("released inside") << QPoint(50, 20) << true << 1;
        QTest::newRow("released outside") << QPoint(150, 20) << true << 0;
        QTest::newRow("released on the 2-pixel rim") << QPoint(2, 20) << true << 0;
        QTest::newRow("released just within") << QPoint(3, 20) << true << 1;
        QTest::newRow("released on the right rim") << QPoint(98, 20) << true << 0;
        QTest::newRow("released on the bottom rim") << QPoint(50, 38) << true << 0;
        QTest::newRow("disabled") << QPoint(50, 20) << false << 0;
    }
    void buttonClicks()
    {
        QFETCH(QPoint, release);
        QFETCH(bool, enabled);
        QFETCH(int, actions);
        QWidget window;
        window.resize(300, 100);
        auto *button = new omiButton(&window);
        button->setGeometry(0, 0, 100, 40);
        button->setCaption(u"Cancel"_s);
        button->setEnabled(enabled);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy spy(button, &omiButton::action);

        QTest::mousePress(button, Qt::LeftButton, {}, {50, 20});
        QCOMPARE(button->clicking(), enabled);
        QTest::mouseRelease(button, Qt::LeftButton, {}, release);
        QCOMPARE(spy.count(), actions);
        QVERIFY(!button->clicking());
    }

    void buttonFaces()
    {
        omiButton button;
        button.resize(100, 40);
        QCOMPARE(button.faceColour(), QColor(0xD7, 0xD7, 0xCF));
        QCOMPARE(button.textColour(), QColor(0x6F, 0x70, 0x72));
        button.setDefault(true);
        QCOMPARE(button.faceColour(), QColor(0x72, 0xBF, 0xA1));
        QCOMPARE(button.textColour(), QColor(0xF1, 0xF0, 0xEB));
        button.updateStateLocal({50, 20}, true);
        QCOMPARE(button.faceColour(), QColor(0x8E, 0xCC, 0xB4));
        button.setEnabled(false);
        QCOMPARE(button.faceColour(), QColor(0xD7, 0xD7, 0xCF));
        QCOMPARE(button.textColour(), QColor(0xED, 0xEC, 0xE6));
    }

    void buttonPushAndTimerExit()
    {
        omiButton button;
        button.resize(100, 40);
        QSignalSpy actions(&button, &omiButton::action);
        QSignalSpy exits(&button, &omiButton::MouseExit);
        button.push();
        QCOMPARE(actions.count(), 1);

        button.updateStateLocal({3, 20}, false);
        QVERIFY(button.mouseInside());
        QCOMPARE(exits.count(), 0);
        button.updateStateLocal({96, 20}, true); // x < width - 4 is the last inside column
        QVERIFY(!button.mouseInside());
        QVERIFY(!button.clicking());
        QCOMPARE(exits.count(), 1);
    }

    void progressFill_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("filled");
        QTest::newRow("half") << 100 << 50 << true << 100;
        QTest::newRow("full") << 3 << 3 << true << 200;
        QTest::newRow("disabled") << 100 << 50 << false << 0;
        QTest::newRow("no maximum yet") << 0 << 0 << true << 0;
        QTest::newRow("past the end") << 10 << 12 << true << 200;
    }
    void progressFill()
    {
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(bool, enabled);
        QFETCH(int, filled);
        omiProgress progress;
        progress.resize(200, 20);
        progress.setMaximum(maximum);
        progress.setValue(value);
        progress.setEnabled(enabled);
        progress.setCaption(u"3 of 7"_s);
        QCOMPARE(progress.filledWidth(), filled);
        QImage image(progress.size(), QImage::Format_RGB32);
        progress.render(&image); // paints without dividing by zero
        if (filled > 20)
            QCOMPARE(image.pixelColor(filled / 2, 2), QColor(0xBD, 0xCE, 0xEB));
        QCOMPARE(image.pixelColor(199, 2),
                 QColor(filled >= 200 ? QColor(0xBD, 0xCE, 0xEB) : QColor(0xF1, 0xF0, 0xEB)));
    }

    void listRowsAfterMultipleSelection()
    {
        omiListbox list;
        list.resize(300, 400);
        for (int i = 0; i < 8; ++i)
            list.addRow({u"video %1"_s.arg(i)});
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto rowPoint = [&](int row) { return QPoint(50, row * 32 + 16); };

        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowPoint(1));
        QCOMPARE(list.rows, QList<int>({1}));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(4));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(6));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(5));
        QCOMPARE(list.rows, QList<int>({1, 4, 6}));
        QCOMPARE(list.selCount(), 3);
        QCOMPARE(list.listIndex(), 1);
        QVERIFY(list.isSelected(6) && !list.isSelected(5));
    }

    void listGroupsOpenAndClose()
    {
        omiListbox list;
        list.addFolder({u"first.mkv"_s}, u"g1"_s);
        list.addFolder({u"second.mkv"_s}, u"g2"_s);
        list.addRow({u"loose"_s});
        QSignalSpy collapsed(&list, &omiListbox::collapseRow);
        connect(&list, &omiListbox::expandRow, &list, [&list](int row) {
            for (int i = 0; i < 3; ++i)
                list.addRow({list.rowTag(row).toString() + u"-result%1"_s.arg(i)});
        });

        list.setExpanded(1, true);
        list.setExpanded(0, true);
        const QStringList expected{u"first.mkv"_s,  u"g1-result0"_s, u"g1-result1"_s,
                                   u"g1-result2"_s, u"second.mkv"_s, u"g2-result0"_s,
                                   u"g2-result1"_s, u"g2-result2"_s, u"loose"_s};
        QCOMPARE(list.rowCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row)
            QCOMPARE(list.cell(row, 0), expected.at(row));
        QCOMPARE(list.rowDepth(2), 1);
        QCOMPARE(list.rowDepth(4), 0);
        QVERIFY(list.expanded(4));

        list.setSelected(6, true);
        list.setExpanded(4, false);
        QCOMPARE(collapsed.count(), 1);
        QCOMPARE(list.rowCount(), 6);
        QCOMPARE(list.cell(5, 0), u"loose"_s);
        QCOMPARE(list.selCount(), 0); // the selected child went with its group
        QVERIFY(!list.expanded(4));

        list.removeRow(0); // a group goes with its open rows
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(list.cell(0, 0), u"second.mkv"_s);

        list.setExpanded(1, true); // not a group: nothing happens
        QCOMPARE(list.rowCount(), 2);
    }

    void listHandsEveryCellToTheOwner()
    {
        omiListbox list;
        list.resize(300, 200);
        list.setColumnWidths(u"*,32,32"_s); // kept for the columns that follow
        list.setColumnCount(3);
        for (int i = 0; i < 3; ++i)
            list.addRow({u"row %1"_s.arg(i), u" "_s, u" "_s});
        QList<QPair<int, int>> backgrounds;
        QList<QPair<int, int>> contents;
        list.setCellBackgroundPaint([&](QPainter &g, int row, int column, const QSize &cell) {
            QCOMPARE(cell.height(), 32);
            backgrounds.append({row, column});
            g.fillRect(QRect(QPoint(0, 0), cell), row >= 3 ? QColor(215, 215, 207) : QColor(170, 172, 166));
        });
        list.setCellTextPaint([&](QPainter &, int row, int column, const QSize &) {
            contents.append({row, column});
        });
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QCOMPARE(list.columnWidth(1), 32);
        QCOMPARE(list.columnWidth(2), 32);
        QCOMPARE(list.columnWidth(0) + 64, list.viewport()->width());

        backgrounds.clear();
        contents.clear();
        QImage image(list.size(), QImage::Format_RGB32);
        list.render(&image);
        // Three real rows and the empty rows below them down to the bottom, every column.
        const int visibleRows = (list.viewport()->height() + 31) / 32;
        QCOMPARE(backgrounds.size(), visibleRows * 3);
        QVERIFY(backgrounds.contains(qMakePair(3, 2)));
        QVERIFY(contents.contains(qMakePair(2, 0)));
        const QPoint blank = list.viewport()->mapTo(&list, QPoint(10, 3 * 32 + 5));
        QCOMPARE(image.pixelColor(blank), QColor(215, 215, 207));

        list.AutoColumnWidth(0);
        QCOMPARE(list.columnWidth(0), list.fontMetrics().horizontalAdvance(u"row 0"_s) + 5);
    }
};

LUMBRA_TEST_MAIN(tst_Controls)
#include "tst_Controls.moc"
