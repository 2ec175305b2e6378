#include "upload/gui/UploadList.h"

#include "common/JobSession.h"
#include "common/LangModule.h"
#include "common/translationStrings.h"
#include "controls/LangFlags.h"
#include "controls/ListColours.h"
#include "controls/omiListbox.h"
#include "controls/ShownText.h"
#include "controls/Theme.h"
#include "media/movieFile.h"
#include "media/NaturalOrder.h"
#include "media/subtitleFile.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "preview/SubtitleCheck.h"
#include "window/FileDropFilter.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMutexLocker>
#include <QPainter>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
// Marks of the results rows: found, missing, failed, no video.
const QColor HasMark(114, 191, 161);
const QColor LacksMark(232, 172, 76);
const QColor FailedMark(214, 80, 69);
const QColor NoVideoMark(120, 121, 117);

constexpr int TextLeft = 20;
constexpr int CheckAreaFallback = 18;

// Cell tags of the main column: the row kind.
const QString SubfileKind = u"subfile"_s;
const QString VerifiedKind = u"verified"_s;
// Menu tags that choose a subtitle's language: this and a two-letter code.
const QString LanguageTag = u"menuLanguage:"_s;

// The subtitle, its video and the language it will be verified in ("?" when
// its name gives none and the default language is assumed); or why it is
// not taken as a subtitle at all.
QString mainText(const subtitleFile &record, bool hasMovie, const std::shared_ptr<movieFile> &movie,
                 const QString &refused)
{
    QString text = record.subtitleFileName();
    if (!refused.isEmpty())
        return text + u" \u2014 "_s + UploadList::tr("not a subtitle: %1").arg(refused);
    if (!hasMovie || !movie)
        return text + u" \u2014 "_s + UploadList::tr("no video");
    const VerifyPairing pairing = VerificationJob::pairingOf(record);
    const QString language = LangModule::getLangFull(pairing.lang);
    text += u" ("_s + movie->movieFileName() + u", "_s + (language.isEmpty() ? pairing.lang : language) +
            (pairing.languageFromName ? QString() : u"?"_s) + u')';
    return text;
}
} // namespace

UploadList::UploadList(std::shared_ptr<JobSession> session, QWidget *parent)
    : QObject(parent)
    , m_session(std::move(session))
    , m_view(new omiListbox(parent))
    , m_viewport(m_view->viewport())
{
    m_view->setObjectName(u"MainList"_s);
    m_view->setColumnCount(2);
    m_view->setColumnWidths(u"*,32"_s);
    m_view->mode = SubFilesMode;
    m_view->setAcceptDrops(true);
    m_view->setFocusPolicy(Qt::StrongFocus);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->installEventFilter(this);
    m_viewport->installEventFilter(this);
    m_view->setCellBackgroundPaint([this](QPainter &g, int row, int column, const QSize &cell) {
        paintBackground(g, row, column, cell);
    });
    m_view->setCellTextPaint(
        [this](QPainter &g, int row, int column, const QSize &cell) { paintContent(g, row, column, cell); });
    m_view->setCellClick(
        [this](int row, int column, const QPoint &inCell) { return clickCell(row, column, inCell); });
    connect(m_view, &omiListbox::change, this, [this] {
        const QList<int> selected = m_view->selectedRows();
        if (selected.size() == 1)
            m_clickedRow = selected.first();
    });
    connect(m_view, &QWidget::customContextMenuRequested, this, &UploadList::showContextMenu);
}

QString UploadList::mode() const
{
    return m_view->mode;
}

int UploadList::checkColumn() const
{
    return mode() == ResultsMode ? 2 : 1;
}

int UploadList::rowCount() const
{
    return m_view->rowCount();
}

QString UploadList::rowPath(int row) const
{
    return m_view->rowTag(row).toString();
}

std::shared_ptr<subtitleFile> UploadList::record(int row) const
{
    if (mode() != SubFilesMode)
        return nullptr;
    return m_records.value(rowPath(row));
}

bool UploadList::isChecked(int row) const
{
    const auto sub = record(row);
    if (!sub)
        return false;
    const QMutexLocker guard(&m_session->stateLock());
    return sub->isChecked;
}

int UploadList::listSubtitleFiles(const QList<std::shared_ptr<subtitleFile>> &records)
{
    int added = 0;
    for (const auto &sub : records) {
        QString text;
        // Read outside the lock; a file that is not a subtitle is listed
        // unchecked with the reason and cannot be checked.
        const QString path = sub->path();
        if (m_records.contains(path))
            continue;
        const QString refused = SubtitleCheck::refusal(path);
        {
            const QMutexLocker guard(&m_session->stateLock());
            text = mainText(*sub, sub->hasMovie, sub->thisMovie(), refused);
        }
        if (!refused.isEmpty())
            m_refused.insert(path);
        m_records.insert(path, sub);
        // Rows stay ordered by the subtitles' paths, the check column's text,
        // as people order names.
        int at = 0;
        while (at < m_view->rowCount() && !naturalLess(path, m_view->cell(at, 1)))
            ++at;
        m_view->insertRow(at, {text, path}, path);
        m_view->setCellTag(at, 0, SubfileKind);
        if (m_clickedRow >= at)
            ++m_clickedRow;
        ++added;
    }
    return added;
}

void UploadList::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_records.remove(rowPath(row));
    m_view->removeRow(row);
    if (m_clickedRow == row)
        m_clickedRow = -1;
    else if (m_clickedRow > row)
        --m_clickedRow;
}

void UploadList::setRecordChecked(int row, bool checked)
{
    const auto sub = record(row);
    if (!sub || (checked && m_refused.contains(sub->path())))
        return;
    {
        const QMutexLocker guard(&m_session->stateLock());
        sub->isChecked = checked;
    }
    m_view->viewport()->update();
}

bool UploadList::handleKey(int key)
{
    const bool subRows = mode() == SubFilesMode;
    switch (key) {
    case Qt::Key_Space:
        if (subRows) {
            for (int row : m_view->selectedRows())
                setRecordChecked(row, !isChecked(row));
        }
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (subRows) {
            for (int row : m_view->selectedRows())
                setRecordChecked(row, false);
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_V:
    case Qt::Key_R:
    case Qt::Key_Q:
    case Qt::Key_O:
        break;
    default:
        return false;
    }
    Q_EMIT changed();
    return true;
}

QRect UploadList::checkArea(int columnWidth) const
{
    const QImage picture = Theme::getPic(u"selectactivo"_s, u"Theme"_s);
    const QSize size = picture.isNull() ? QSize(CheckAreaFallback, CheckAreaFallback) : picture.size();
    const int rowHeight = m_view->defaultRowHeight();
    return {(columnWidth - size.width()) / 2, (rowHeight - size.height()) / 2, size.width(), size.height()};
}

bool UploadList::clickCell(int row, int column, const QPoint &inCell)
{
    if (mode() != SubFilesMode || column != checkColumn() || !record(row))
        return false;
    const QRect area = checkArea(m_view->columnWidth(column));
    // Strictly inside: the edges do not count.
    if (inCell.x() <= area.left() || inCell.x() >= area.right() || inCell.y() <= area.top() ||
        inCell.y() >= area.bottom())
        return false;
    setRecordChecked(row, !isChecked(row));
    Q_EMIT changed();
    return true;
}

QList<QPair<QString, QString>> UploadList::menuEntries(int row) const
{
    const auto sub = record(row);
    if (!sub)
        return {};
    bool hasMovie;
    QString language;
    {
        const QMutexLocker guard(&m_session->stateLock());
        hasMovie = sub->hasMovie && sub->thisMovie();
        language = VerificationJob::pairingOf(*sub).lang;
    }
    // Only a pair has a video to reveal or to play the subtitle over.
    QList<QPair<QString, QString>> entries;
    if (hasMovie) {
        entries.append({u"menuRevealFile"_s, translationStrings::menuRevealFileText()});
        entries.append({u"menuPreviewSub"_s, translationStrings::menuPreviewSubText()});
    }
    if (m_refused.contains(sub->path()))
        return entries;
    // The language it is verified in, when its name gives none or the wrong
    // one: any of the wanted languages and the default one.
    QStringList choices = myPrefs::languageList();
    choices.append(myPrefs::defaultLanguage());
    choices.removeDuplicates();
    for (const QString &code : std::as_const(choices)) {
        if (code.compare(language, Qt::CaseInsensitive) == 0 || LangModule::getLangThree(code).isEmpty())
            continue;
        const QString name = LangModule::getLangFull(code);
        entries.append({LanguageTag + code, tr("Verify as %1").arg(name.isEmpty() ? code : name)});
    }
    return entries;
}

void UploadList::chooseMenuEntry(int row, const QString &tag)
{
    const auto sub = record(row);
    if (!sub)
        return;
    m_clickedRow = row;
    if (tag == "menuRevealFile"_L1) {
        QString video;
        {
            const QMutexLocker guard(&m_session->stateLock());
            if (sub->hasMovie && sub->thisMovie())
                video = sub->thisMovie()->path();
        }
        if (!video.isEmpty())
            platform().revealFile(video);
    } else if (tag == "menuPreviewSub"_L1) {
        PlayPreview();
    } else if (tag.startsWith(LanguageTag)) {
        setLanguage(row, tag.mid(LanguageTag.size()));
    }
}

QStringList UploadList::unpairedSubtitles() const
{
    QStringList paths;
    for (int row = 0; row < rowCount(); ++row) {
        const auto sub = record(row);
        if (!sub || m_refused.contains(sub->path()))
            continue;
        const QMutexLocker guard(&m_session->stateLock());
        if (!sub->hasMovie || !sub->thisMovie())
            paths.append(sub->path());
    }
    return paths;
}

void UploadList::setLanguage(int row, const QString &code)
{
    const auto sub = record(row);
    const QString three = LangModule::getLangThree(code);
    if (!sub || three.isEmpty())
        return;
    QString text;
    {
        const QMutexLocker guard(&m_session->stateLock());
        sub->setISO639(three);
        text = mainText(*sub, sub->hasMovie, sub->thisMovie(), {});
    }
    m_view->setCell(row, 0, text);
    Q_EMIT changed();
}

void UploadList::PlayPreview()
{
    const auto sub = record(m_clickedRow);
    if (!sub)
        return;
    std::shared_ptr<movieFile> movie;
    {
        const QMutexLocker guard(&m_session->stateLock());
        if (sub->hasMovie)
            movie = sub->thisMovie();
    }
    // Without a video there is nothing to play the subtitle over.
    if (!movie)
        return;
    Q_EMIT previewRequested(sub->path(), movie->path());
}

void UploadList::showContextMenu(const QPoint &at)
{
    const int row = m_view->rowAt(at.y());
    const auto entries = menuEntries(row);
    if (entries.isEmpty())
        return;
    m_clickedRow = row;
    if (!m_view->isSelected(row)) {
        m_view->clearSelection();
        m_view->setSelected(row, true);
    }
    QMenu menu(m_view);
    for (const auto &[tag, text] : entries)
        menu.addAction(captionAsWritten(text))->setData(tag);
    if (const QAction *chosen = menu.exec(m_view->viewport()->mapToGlobal(at)))
        chooseMenuEntry(row, chosen->data().toString());
}

void UploadList::listSearchResults(const QList<VerifyPairing> &pairings, const QList<VerifyOutcome> &outcomes)
{
    m_view->deleteAllRows();
    m_records.clear();
    m_refused.clear();
    m_clickedRow = -1;
    m_view->setColumnCount(3);
    m_view->setColumnWidths(u"*,32,32"_s);
    m_view->mode = ResultsMode;
    for (const VerifyPairing &pairing : pairings) {
        QString status;
        QString text = QFileInfo(pairing.subtitle).fileName();
        if (pairing.video.isEmpty()) {
            text += tr(": no video to verify with");
        } else {
            text += u" ("_s + QFileInfo(pairing.video).fileName() + u')';
            for (const VerifyOutcome &o : outcomes) {
                if (o.video != pairing.video || o.lang != pairing.lang)
                    continue;
                status = VerifyOutcome::statusName(o.status);
                switch (o.status) {
                case VerifyOutcome::Status::Has:
                    text += tr(": already on the service");
                    break;
                case VerifyOutcome::Status::Lacks:
                    text += tr(": not on the service yet");
                    break;
                case VerifyOutcome::Status::Failed:
                    text += tr(": not verified, %1").arg(o.reason);
                    break;
                }
            }
        }
        int at = 0;
        while (at < m_view->rowCount() && m_view->cell(at, 2) < pairing.subtitle)
            ++at;
        m_view->insertRow(at, {text, status, pairing.subtitle}, pairing.subtitle);
        m_view->setCellTag(at, 0, VerifiedKind);
    }
    m_view->setFocus();
    m_view->viewport()->update();
}

QString UploadList::resultStatus(int row) const
{
    return mode() == ResultsMode ? m_view->cell(row, 1) : QString();
}

QString UploadList::resultText(int row) const
{
    return m_view->cell(row, 0);
}

void UploadList::paintBackground(QPainter &g, int row, int, const QSize &cell) const
{
    const QRect all(QPoint(0, 0), cell);
    const int count = m_view->rowCount();
    if (row >= count) {
        g.fillRect(all, ListColours::RowLine);
        return;
    }
    g.fillRect(all, m_view->isSelected(row) ? ListColours::SelectedRow
                                            : (row % 2 == 1 ? ListColours::OddRow : ListColours::EvenRow));
    if (row < count - 1)
        g.fillRect(0, cell.height() - 2, cell.width(), 2, ListColours::RowLine);
}

QImage UploadList::flagFor(const QString &fileName) const
{
    // Movie.en.srt: the next-to-last field is the language.
    const QStringList fields = fileName.split(u'.');
    if (fields.size() <= 2)
        return {};
    const QString code = fields.at(fields.size() - 2).toLower();
    const auto cached = m_flags.constFind(code);
    if (cached != m_flags.cend())
        return *cached;
    const QImage flag = LangModule::getLargeFlagPic(code);
    const QImage round =
        flag.isNull() ? QImage() : Theme::Masked(flag, Theme::getPic(u"circlemask"_s, u"Theme"_s));
    // A missing picture is looked for again on the next paint, a found one kept.
    if (!round.isNull())
        m_flags.insert(code, round);
    return round;
}

QImage UploadList::tinted(const QString &name) const
{
    const auto cached = m_icons.constFind(name);
    if (cached != m_icons.cend())
        return *cached;
    const QImage icon = Theme::getPic(name, u"Theme"_s);
    const QImage ink = icon.isNull() ? QImage() : Theme::IconAtColor(icon, ListColours::Ink);
    if (!ink.isNull())
        m_icons.insert(name, ink);
    return ink;
}

void UploadList::paintContent(QPainter &g, int row, int column, const QSize &cell) const
{
    if (row >= m_view->rowCount())
        return;
    QFont font(u"Helvetica"_s);
    font.setPointSizeF(m_view->font().pointSizeF());
    g.setFont(font);
    g.setPen(ListColours::Ink);
    const QFontMetrics metrics(font);
    const int baseline = metrics.ascent() + (cell.height() - metrics.height()) / 2;
    const bool results = mode() == ResultsMode;

    if (column == 0) {
        const QString text = m_view->cell(row, 0);
        int room = cell.width() - TextLeft;
        // Every row is a subtitle file; its tag is the file's path.
        const QImage flag = flagFor(QFileInfo(rowPath(row)).fileName());
        if (!flag.isNull()) {
            g.drawImage(cell.width() - flag.width(), (cell.height() - flag.height()) / 2, flag);
            room = cell.width() - 2 * flag.width() - 26;
        }
        g.drawText(TextLeft, baseline, metrics.elidedText(text, Qt::ElideRight, std::max(room, 0)));
        return;
    }
    if (results && column == 1) {
        // The verdict as a coloured disc.
        const QString status = m_view->cell(row, 1);
        const QColor mark = status == "has"_L1      ? HasMark
                            : status == "lacks"_L1  ? LacksMark
                            : status == "failed"_L1 ? FailedMark
                                                    : NoVideoMark;
        g.setRenderHint(QPainter::Antialiasing);
        g.setPen(Qt::NoPen);
        g.setBrush(mark);
        const int d = std::min(cell.width(), cell.height()) / 2;
        g.drawEllipse((cell.width() - d) / 2, (cell.height() - d) / 2, d, d);
        return;
    }
    if (!results && column == checkColumn()) {
        const QImage icon = tinted(isChecked(row) ? u"omicheck"_s : u"selectnoactivo"_s);
        if (!icon.isNull())
            g.drawImage((cell.width() - icon.width()) / 2, (cell.height() - icon.height()) / 2, icon);
    }
}

bool UploadList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        if (handleKey(static_cast<QKeyEvent *>(event)->key()))
            return true;
    }
    // Compared by address: a list being torn down is never called. Files of
    // any type may be dropped on the list, as on the drop panel.
    if (watched == m_viewport &&
        handleFileDrop(event, true, [this](const DragItem &item) { Q_EMIT filesDropped(item); }))
        return true;
    return QObject::eventFilter(watched, event);
}
