#include "download/gui/DownloadListPainter.h"

#include "controls/LangFlags.h"
#include "controls/ListColours.h"
#include "controls/omiListbox.h"
#include "controls/Theme.h"
#include "download/DownloadJob.h"
#include "download/gui/DownloadList.h"
#include "media/movieFile.h"
#include "prefs/myPrefs.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"

#include <QFontMetrics>
#include <QMutexLocker>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace {
const QColor Green(114, 191, 161);
const QColor Red(243, 92, 67);
const QColor BestRing(89, 97, 103);
const QColor GroupOdd(121, 204, 172);
const QColor GroupEven(114, 191, 161);

QPoint centred(const QSize &cell, const QImage &picture, int down = 0)
{
    return {(cell.width() - picture.width()) / 2, (cell.height() - picture.height()) / 2 + down};
}

void drawCentred(QPainter &g, const QSize &cell, const QImage &picture, int down = 0)
{
    if (!picture.isNull())
        g.drawImage(centred(cell, picture, down), picture);
}

bool sameText(const QString &a, QLatin1StringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

DownloadListPainter::DownloadListPainter(const DownloadList &list, JobRecords &records)
    : m_list(list)
    , m_session(records.session())
{
}

QImage DownloadListPainter::tinted(const QString &name, const QColor &colour) const
{
    const QString key = name + u'#' + colour.name();
    auto found = m_pictures.constFind(key);
    if (found != m_pictures.cend())
        return *found;
    const QImage picture = Theme::getPic(name, u"Theme"_s);
    if (picture.isNull())
        return {}; // looked for again next time: the theme may still arrive
    return m_pictures.insert(key, Theme::IconAtColor(picture, colour)).value();
}

QImage DownloadListPainter::roundFlag(const QString &code, bool faded) const
{
    const QString key = u"flag:"_s + code.toLower() + (faded ? u":faded"_s : QString());
    auto found = m_pictures.constFind(key);
    if (found != m_pictures.cend())
        return *found;
    const QImage flag = LangModule::getLargeFlagPic(code);
    if (flag.isNull())
        return {};
    QImage round = Theme::Masked(flag, Theme::getPic(u"circlemask"_s, u"Theme"_s));
    if (faded)
        round = Theme::Lighten(round, 0.7);
    return m_pictures.insert(key, round).value();
}

void DownloadListPainter::paintBackground(QPainter &g, int row, int column, const QSize &cell) const
{
    const omiListbox *list = m_list.MainList();
    const int count = list->rowCount();
    if (row >= count) {
        g.fillRect(QRect(QPoint(0, 0), cell), ListColours::RowLine);
        return;
    }
    const bool odd = row % 2 == 1;
    const bool selected = list->isSelected(row);
    if (m_list.isKind(row, DownloadList::KindGroup)) {
        g.fillRect(QRect(QPoint(0, 0), cell), odd ? GroupOdd : GroupEven);
        if (selected && column == m_list.columnMain())
            g.fillRect(QRect(0, 0, 10, cell.height()), ListColours::SelectedRow);
    } else {
        g.fillRect(QRect(QPoint(0, 0), cell), selected ? ListColours::SelectedRow
                                              : odd    ? ListColours::OddRow
                                                       : ListColours::EvenRow);
    }
    if (row != count - 1)
        g.fillRect(QRect(0, cell.height() - 2, cell.width(), 2), ListColours::RowLine);
}

int DownloadListPainter::drawText(QPainter &g, const QString &text, int x, int width, const QSize &cell) const
{
    QFont font = m_list.MainList()->font();
    font.setFamily(u"Helvetica"_s);
    font.setBold(false);
    g.setFont(font);
    const QFontMetrics metrics(font);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, std::max(width, 0));
    const int baseline = metrics.ascent() + (cell.height() - metrics.height()) / 2;
    g.setPen(ListColours::Ink);
    g.drawText(x, baseline, shown);
    return metrics.horizontalAdvance(shown);
}

void DownloadListPainter::paintContent(QPainter &g, int row, int column, const QSize &cell) const
{
    if (row >= m_list.MainList()->rowCount())
        return;
    const QString view = m_list.mode();
    if (sameText(view, "files"_L1))
        paintFiles(g, row, column, cell);
    else if (sameText(view, "subs"_L1))
        paintSubs(g, row, column, cell);
    else if (sameText(view, "gets"_L1))
        paintGets(g, row, column, cell);
}

void DownloadListPainter::paintFiles(QPainter &g, int row, int column, const QSize &cell) const
{
    const auto record = m_list.movieAt(row);
    if (!record)
        return;
    if (column == m_list.columnCheck()) {
        bool checked;
        {
            const QMutexLocker guard(&m_session->stateLock());
            checked = record->isChecked;
        }
        if (checked) {
            drawCentred(g, cell, tinted(u"circlemask"_s, Green));
            drawCentred(g, cell, tinted(u"omicheck"_s, ListColours::Ink));
        } else {
            drawCentred(g, cell, tinted(u"selectnoactivo"_s, ListColours::Ink));
        }
        return;
    }
    if (column != m_list.columnMain())
        return;
    // The wanted languages' round flags stand at the right, 9 pixels apart;
    // a language already beside the video shows faded with a tick, unless
    // subtitles are refreshed or this is the lone video of a single drop.
    const QStringList languages = DownloadJob::wantedLanguages();
    const bool lone = m_list.singleDrop() && m_list.MainList()->rowCount() == 1;
    const bool markLocal = !myPrefs::refreshSubs() && !lone;
    int leftmost = -1;
    int flagWidth = 22;
    for (int i = 0; i < languages.size(); ++i) {
        const bool beside = markLocal && DownloadJob::hasLocalSubtitleIn(*record, languages[i]);
        // A subtitle stream inside the video: faded too, with a tick of the ink's colour.
        const bool inside = markLocal && !beside && record->carriesSubtitleIn(languages[i]);
        const bool local = beside || inside;
        const QImage flag = roundFlag(languages[i], local);
        if (!flag.isNull())
            flagWidth = flag.width();
        const int x = cell.width() - flagWidth * (i + 1) - 9 * i;
        const int y = (cell.height() - (flag.isNull() ? flagWidth : flag.height())) / 2;
        leftmost = x;
        if (!flag.isNull())
            g.drawImage(x, y, flag);
        if (local) {
            const QImage tick = tinted(u"omicheck"_s, inside ? ListColours::Ink : Green);
            const QPoint centre(x + flagWidth / 2 + 1, y + flagWidth / 2 + 1);
            g.drawImage(centre - QPoint(tick.width() / 2, tick.height() / 2), tick);
        }
    }
    const int width = leftmost < 0 ? cell.width() - 40 : leftmost - flagWidth - 26;
    drawText(g, DownloadList::videoRowText(record->movieFileName(), m_list.searchFailure()), 20, width, cell);
}

void DownloadListPainter::paintSubs(QPainter &g, int row, int column, const QSize &cell) const
{
    const omiListbox *list = m_list.MainList();
    if (m_list.isKind(row, DownloadList::KindGroup)) {
        const auto group = m_list.movieAt(row);
        if (!group)
            return;
        const auto results = group->subtitleResults();
        const bool open = list->expanded(row);
        if (column == m_list.columnMain()) {
            const QImage icon = tinted(open ? u"disclosed"_s : u"closed"_s, ListColours::Ink);
            const QString name = group->movieFileName();
            // A name narrower than the room is drawn whole, so the room alone bounds it.
            const int drawn = drawText(g, name, 40, cell.width() - icon.width() - 25, cell);
            if (!results.isEmpty() && !icon.isNull()) {
                const QFontMetrics metrics(g.font());
                const int baseline = metrics.ascent() + (cell.height() - metrics.height()) / 2;
                g.drawImage(drawn + 45, baseline - icon.height(), icon);
            }
        } else if (column == m_list.columnInfo()) {
            if (!open)
                drawCentred(g, cell, roundFlag(group->iso639, false), 1);
        } else if (column == m_list.columnCheck() && !open) {
            bool anyChecked;
            {
                const QMutexLocker guard(&m_session->stateLock());
                anyChecked =
                    std::any_of(results.cbegin(), results.cend(), [](const auto &r) { return r->isChecked; });
            }
            const QString name = anyChecked          ? u"omicheck"_s
                                 : results.isEmpty() ? u"errorerror"_s
                                                     : u"selectnoactivo"_s;
            drawCentred(g, cell, tinted(name, ListColours::Ink), 1);
        }
        return;
    }
    if (!m_list.isKind(row, DownloadList::KindResult))
        return;
    const auto result = m_list.resultAt(row);
    if (!result)
        return;
    QString text;
    QString language;
    bool best, bad, have, checked;
    {
        const QMutexLocker guard(&m_session->stateLock());
        text = result->flagMarks() + result->Cellstring();
        language = result->ISO639;
        best = result->myBest;
        bad = result->SubBad;
        have = result->localHave;
        checked = result->isChecked;
    }
    if (column == m_list.columnMain()) {
        drawText(g, text, 60, cell.width() - 45, cell);
    } else if (column == m_list.columnInfo()) {
        const QImage flag = roundFlag(language, false);
        drawCentred(g, cell, flag, 1);
        if (best && !flag.isNull()) {
            const QRect ring = QRect(centred(cell, flag, 1), flag.size()).adjusted(-4, -4, 4, 4);
            g.setRenderHint(QPainter::Antialiasing);
            g.setPen(QPen(BestRing, 2));
            g.setBrush(Qt::NoBrush);
            g.drawEllipse(ring);
        }
    } else if (column == m_list.columnCheck()) {
        if (bad) {
            drawCentred(g, cell, tinted(u"circlemask"_s, Red), 1);
        } else if (have) {
            drawCentred(g, cell, tinted(u"omicheck"_s, Green));
        } else if (!checked) {
            drawCentred(g, cell, tinted(u"selectnoactivo"_s, ListColours::Ink));
        } else {
            drawCentred(g, cell, tinted(u"selectactivo"_s, Green));
            drawCentred(g, cell, tinted(u"omicheck"_s, ListColours::Ink));
        }
    }
}

void DownloadListPainter::paintGets(QPainter &g, int row, int column, const QSize &cell) const
{
    const auto result = m_list.resultAt(row);
    if (!result)
        return;
    const QString text = m_list.rowText(row);
    QString language;
    QString status;
    {
        const QMutexLocker guard(&m_session->stateLock());
        language = result->ISO639;
        status = result->status;
    }
    if (column == m_list.columnMain()) {
        drawText(g, text, 20, cell.width() - 25, cell);
    } else if (column == m_list.columnInfo()) {
        drawCentred(g, cell, roundFlag(language, false), 1);
    } else if (column == m_list.columnCheck()) {
        if (sameText(status, "Idle"_L1)) {
            drawCentred(g, cell, tinted(u"selectnoactivo"_s, ListColours::Ink));
        } else if (sameText(status, "Downloading"_L1)) {
            drawCentred(g, cell, tinted(u"circlemask"_s, ListColours::Ink));
        } else if (sameText(status, "Downloaded"_L1)) {
            drawCentred(g, cell, tinted(u"selectactivo"_s, ListColours::Ink));
        } else if (sameText(status, "ERROR"_L1)) {
            drawCentred(g, cell, tinted(u"circlemask"_s, Red));
        } else if (sameText(status, "OK"_L1)) {
            drawCentred(g, cell, tinted(u"circlemask"_s, Green));
            drawCentred(g, cell, tinted(u"omicheck"_s, ListColours::Ink));
        }
    }
}
