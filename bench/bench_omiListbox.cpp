// Repaint of a 1,000-row omiListbox, the way the download window paints it ten times a
// second, against a QTreeWidget baseline and against painting from unshared pictures.
//
//   build/bench/bench_omiListbox   (runs offscreen)
#include "controls/LangFlags.h"
#include "controls/omiListbox.h"
#include "controls/ResourcePaths.h"
#include "controls/Theme.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRows = 1000;
const QSize kViewSize(640, 480);
const QStringList kLanguages{u"en"_s, u"fr"_s, u"pb"_s, u"de"_s};

QString rowText(int row)
{
    return u"The.Series.S%1E%2.720p.HDTV.x264-GROUP.mkv"_s.arg(row / 20 + 1, 2, 10, QChar(u'0'))
        .arg(row % 20 + 1, 2, 10, QChar(u'0'));
}

// Cell painting of the results view: striped background with a bottom line, a flag, a
// tinted check picture and the condensed name.
void paintBackground(QPainter &g, int row, int, const QSize &cell, int rowCount)
{
    QColor colour =
        row >= rowCount ? QColor(215, 215, 207) : (row % 2 ? QColor(158, 160, 155) : QColor(170, 172, 166));
    g.fillRect(QRect(QPoint(0, 0), cell), colour);
    if (row < rowCount - 1)
        g.fillRect(0, cell.height() - 4, cell.width(), 2, QColor(215, 215, 207));
}

template<typename PictureSource>
void paintContent(QPainter &g, int row, int column, const QSize &cell, const omiListbox &list,
                  PictureSource pic)
{
    if (row >= list.rowCount())
        return;
    const QColor text(241, 240, 235);
    if (column == 0) {
        g.setPen(text);
        const QFontMetrics metrics = g.fontMetrics();
        g.drawText(60, metrics.ascent() + (cell.height() - metrics.height()) / 2,
                   metrics.elidedText(list.cell(row, 0), Qt::ElideRight, cell.width() - 45));
    } else if (column == 1) {
        const QImage flag = pic(kLanguages.at(row % kLanguages.size()), u"Flags"_s);
        g.drawImage((cell.width() - flag.width()) / 2, (cell.height() - flag.height()) / 2 + 1, flag);
    } else {
        const QImage tinted = Theme::IconAtColor(pic(u"selectnoactivo"_s, u"Theme"_s), text);
        g.drawImage((cell.width() - tinted.width()) / 2, (cell.height() - tinted.height()) / 2, tinted);
    }
}

template<typename PictureSource> std::unique_ptr<omiListbox> makeList(PictureSource pic)
{
    auto list = std::make_unique<omiListbox>();
    list->resize(kViewSize);
    list->setFont(QFont(u"Helvetica"_s, 12));
    list->setColumnCount(3);
    list->setColumnWidths(u"*,32,32"_s);
    for (int row = 0; row < kRows; ++row)
        list->addRow({rowText(row), u" "_s, u" "_s});
    omiListbox *raw = list.get();
    list->setCellBackgroundPaint([raw](QPainter &g, int row, int column, const QSize &cell) {
        paintBackground(g, row, column, cell, raw->rowCount());
    });
    list->setCellTextPaint([raw, pic](QPainter &g, int row, int column, const QSize &cell) {
        paintContent(g, row, column, cell, *raw, pic);
    });
    for (int row = 0; row < kRows; row += 7)
        list->setSelected(row, true);
    return list;
}

QImage cachedPic(const QString &name, const QString &folder)
{
    return folder == "Flags"_L1 ? LangModule::getLargeFlagPic(name) : Theme::getPic(name, folder);
}

// What painting would cost without the picture store: every cell reads its file.
QImage uncachedPic(const QString &name, const QString &folder)
{
    return QImage(ResourcePaths::rsrcsF() + u"/Images/"_s + folder + u'/' + name + u".png"_s);
}

void renderVisible(benchmark::State &state, QWidget &view)
{
    QImage canvas(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&canvas);
        benchmark::DoNotOptimize(canvas.constBits());
    }
}

// omiListbox, 1,000 rows, one refresh of the visible part (what a refresh tick costs).
void BM_omiListbox_RepaintVisible(benchmark::State &state)
{
    auto list = makeList(cachedPic);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    renderVisible(state, *list);
}
BENCHMARK(BM_omiListbox_RepaintVisible)->Unit(benchmark::kMicrosecond);

// omiListbox, every one of the 1,000 rows painted once (page by page).
void BM_omiListbox_RepaintAllRows(benchmark::State &state)
{
    auto list = makeList(cachedPic);
    QImage canvas(list->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar *bar = list->verticalScrollBar();
    const int page = list->viewport()->height();
    for (auto _ : state) {
        for (int top = 0; top <= bar->maximum() + page - 1; top += page) {
            bar->setValue(top);
            list->render(&canvas);
        }
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_omiListbox_RepaintAllRows)->Unit(benchmark::kMillisecond);

// Baseline: the same list painting every picture from its file.
void BM_omiListbox_RepaintVisible_UncachedPictures(benchmark::State &state)
{
    auto list = makeList(uncachedPic);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    renderVisible(state, *list);
}
BENCHMARK(BM_omiListbox_RepaintVisible_UncachedPictures)->Unit(benchmark::kMicrosecond);

// Baseline: a stock QTreeWidget with 1,000 items (text and icons, style painting).
void BM_QTreeWidget_RepaintVisible(benchmark::State &state)
{
    QTreeWidget tree;
    tree.resize(kViewSize);
    tree.setColumnCount(3);
    tree.setHeaderHidden(true);
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);
    tree.setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree.header()->setStretchLastSection(false);
    tree.header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree.header()->resizeSection(1, 32);
    tree.header()->resizeSection(2, 32);
    tree.setIconSize(QSize(22, 22));
    const QIcon check(
        QPixmap::fromImage(Theme::IconAtColor(Theme::getPic(u"selectnoactivo"_s, u"Theme"_s), Qt::white)));
    QList<QTreeWidgetItem *> items;
    for (int row = 0; row < kRows; ++row) {
        auto *item = new QTreeWidgetItem({rowText(row), QString(), QString()});
        item->setIcon(1, QIcon(QPixmap::fromImage(
                             LangModule::getLargeFlagPic(kLanguages.at(row % kLanguages.size())))));
        item->setIcon(2, check);
        item->setSizeHint(0, QSize(0, 32));
        items.append(item);
    }
    tree.addTopLevelItems(items);
    for (int row = 0; row < kRows; row += 7)
        items.at(row)->setSelected(true);
    tree.verticalScrollBar()->setValue(tree.verticalScrollBar()->maximum() / 2);
    renderVisible(state, tree);
}
BENCHMARK(BM_QTreeWidget_RepaintVisible)->Unit(benchmark::kMicrosecond);

// Opening and closing a group of 20 results in the middle of a 1,000-row list.
void BM_omiListbox_OpenCloseGroup(benchmark::State &state)
{
    auto list = makeList(cachedPic);
    const int group = list->addFolder({u"group"_s});
    for (int row = 0; row < kRows / 2; ++row)
        list->insertRow(0, {rowText(row), u" "_s, u" "_s});
    const int at = group + kRows / 2;
    QObject::connect(list.get(), &omiListbox::expandRow, list.get(), [&list](int) {
        for (int i = 0; i < 20; ++i)
            list->addRow({rowText(i), u" "_s, u" "_s});
    });
    for (auto _ : state) {
        list->setExpanded(at, true);
        list->setExpanded(at, false);
    }
}
BENCHMARK(BM_omiListbox_OpenCloseGroup)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
