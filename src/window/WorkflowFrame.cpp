#include "window/WorkflowFrame.h"

#include "common/translationStrings.h"
#include "controls/omiButton.h"
#include "controls/omiPanel.h"
#include "window/BusyWheel.h"

#include <QDropEvent>
#include <QEasingCurve>
#include <QKeyEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {
const QColor Background(241, 240, 235);
const QColor MarkerColour(99, 183, 143);

constexpr int ColumnWidth = 125;
constexpr int StageHeight = 103;
constexpr int StageStep = 102;  // the panels overlap by one pixel
constexpr int ButtonsBand = 53; // below the list: buttons and their margins
constexpr int ButtonFromBottom = 41;
constexpr int MainFromRight = 170;

void paintBackground(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    QPalette colours = widget->palette();
    colours.setColor(QPalette::Window, colour);
    widget->setPalette(colours);
}

omiPanel *stagePanel(QWidget *parent, int top, const QString &icon)
{
    auto *panel = new omiPanel(parent);
    panel->setGeometry(0, top, ColumnWidth, StageHeight);
    panel->setIconName(icon);
    panel->setPicSize(50, 50);
    return panel;
}
} // namespace

WorkflowFrame::WorkflowFrame(QWidget *parent)
    : QWidget(parent)
    , m_column(new QWidget(this))
    , m_stages{::stagePanel(m_column, 0, u"iconosubir"_s),
               ::stagePanel(m_column, StageStep, u"iconoseleccionar"_s),
               ::stagePanel(m_column, 2 * StageStep, u"iconobajar"_s)}
    , m_wheel(new BusyWheel(m_stages[0]))
    , m_drop(new omiPanel(m_column))
    , m_marker(new QWidget(m_column))
    , m_main(new omiButton(this))
    , m_cancel(new omiButton(this))
    , m_notice(new QLabel(this))
    , m_noticeButton(new QPushButton(this))
    , m_emptyHint(new QLabel(this))
    , m_markerMove(new QPropertyAnimation(m_marker, "pos", this))
{
    paintBackground(this, Background);
    setMinimumSize(MinimumWidth, MinimumHeight);
    setFocusPolicy(Qt::StrongFocus);

    m_stages[0]->setObjectName(u"DropFilesCanvasSection"_s);
    m_stages[1]->setObjectName(u"ShowResultsCanvas"_s);
    m_stages[2]->setObjectName(u"GetSubsCanvas"_s);
    m_stages[1]->setEnabled(false);
    m_stages[2]->setEnabled(false);
    m_stages[1]->setIAmActive(0);
    m_stages[2]->setIAmActive(0);
    for (omiPanel *panel : m_stages)
        panel->setAcceptDrops(false);

    m_wheel->setObjectName(u"DropFilesProgress"_s);
    m_wheel->setGeometry(46, 35, 32, 32);
    m_wheel->hide();

    m_drop->setObjectName(u"DropFilesCanvas"_s);
    m_drop->setIconName(u"Cuadroarrastre110"_s);
    m_drop->setPicSize(60, 60);
    m_drop->setInnerCaption(true);
    m_drop->setTextFont(u"Helvetica"_s);
    m_drop->setTextSize(12);
    connect(m_drop, &dragCanvas::dropped, this, [this](QDropEvent *event) {
        if (!m_drop->isEnabled())
            return;
        const DragItem item = DragItem::fromMimeData(event->mimeData());
        if (item.isEmpty())
            return;
        event->acceptProposedAction();
        Q_EMIT filesDropped(item);
    });

    m_marker->setObjectName(u"SelectedActionStrip"_s);
    paintBackground(m_marker, MarkerColour);
    m_marker->setGeometry(0, m_stages[0]->y(), 5, StageHeight);

    m_markerMove->setDuration(1000);
    m_markerMove->setEasingCurve(QEasingCurve::InOutSine);

    m_main->setObjectName(u"searchsubtitlesbutton"_s);
    m_main->setDefault(true);
    m_main->setTextFont(u"Helvetica"_s);
    m_main->setTextSize(14);
    connect(m_main, &omiButton::action, this, &WorkflowFrame::mainAction);

    m_cancel->setObjectName(u"CancelButton"_s);
    m_cancel->setCancel(true);
    m_cancel->setCaption(translationStrings::CancelButtonTitle());
    connect(m_cancel, &omiButton::action, this, [this] { window()->close(); });

    m_notice->setObjectName(u"Notice"_s);
    m_notice->setTextFormat(Qt::PlainText); // names and reasons are never markup
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    QFont small(u"Helvetica"_s);
    small.setPixelSize(11);
    m_notice->setFont(small);
    m_notice->setStyleSheet(u"color: #6F7072;"_s);
    m_notice->hide();
    m_emptyHint->setObjectName(u"EmptyHint"_s);
    m_emptyHint->setTextFormat(Qt::PlainText);
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setStyleSheet(u"color: #8A8B8D;"_s);
    // Drops land on the list beneath it.
    m_emptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyHint->hide();
    m_noticeButton->setObjectName(u"NoticeButton"_s);
    m_noticeButton->setFocusPolicy(Qt::NoFocus);
    m_noticeButton->hide();
    connect(m_noticeButton, &QPushButton::clicked, this, [this] {
        if (m_noticeAction)
            m_noticeAction();
    });

    resize(MinimumWidth, MinimumHeight);
    layOut();
}

omiPanel *WorkflowFrame::stagePanel(int index) const
{
    return index >= 0 && index < StageCount ? m_stages[index] : nullptr;
}

void WorkflowFrame::setList(QWidget *list)
{
    if (m_list == list)
        return;
    delete m_list.data();
    m_list = list;
    if (list) {
        list->setParent(this);
        list->show();
        m_emptyHint->raise();
        layOut();
    }
}

void WorkflowFrame::setEmptyHint(const QString &text)
{
    if (m_emptyHint->text() == text && m_emptyHint->isVisibleTo(this) == !text.isEmpty())
        return;
    m_emptyHint->setText(text);
    m_emptyHint->setVisible(!text.isEmpty());
    m_emptyHint->raise();
}

void WorkflowFrame::setStageTips(const QStringList &tips)
{
    for (int i = 0; i < StageCount && i < tips.size(); ++i)
        m_stages[i]->setToolTip(tips.at(i));
}

void WorkflowFrame::setDropCaptions(const QString &caption, const QString &dragCaption)
{
    m_drop->setCaption(caption);
    m_drop->setDragCaption(dragCaption);
}

void WorkflowFrame::setStage(int index)
{
    if (index < 0 || index >= StageCount)
        return;
    m_stage = index;
    for (int i = 0; i < StageCount; ++i)
        m_stages[i]->setIAmActive(i == index ? 1 : 0);
    m_stages[index]->setEnabled(true);
    moveStageMarker(index);
}

void WorkflowFrame::moveStageMarker(int index)
{
    const omiPanel *panel = stagePanel(index);
    if (!panel)
        return;
    const QPoint target(m_marker->x(), panel->y());
    const bool underway = m_markerMove->state() == QAbstractAnimation::Running;
    if (underway && m_markerMove->endValue().toPoint() == target)
        return;
    if (!underway && m_marker->y() == target.y())
        return;
    m_markerMove->stop();
    m_markerMove->setStartValue(m_marker->pos());
    m_markerMove->setEndValue(target);
    m_markerMove->start();
}

bool WorkflowFrame::pressKey(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (m_main->isEnabled())
            m_main->push();
        return true;
    }
    if (key == Qt::Key_Escape) {
        if (m_cancel->isEnabled())
            m_cancel->push();
        return true;
    }
    return false;
}

void WorkflowFrame::keyPressEvent(QKeyEvent *event)
{
    // Every key that gets this far counts as handled.
    pressKey(event->key());
    event->accept();
}

void WorkflowFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void WorkflowFrame::layOut()
{
    const int w = width();
    const int h = height();
    // The column runs one pixel past the bottom, as the stage panels overlap.
    m_column->setGeometry(0, 0, ColumnWidth, h + 1);
    m_drop->setGeometry(0, m_column->height() - StageHeight, ColumnWidth, StageHeight);
    m_main->setGeometry(w - MainFromRight, h - ButtonFromBottom, 150, 28);
    m_cancel->setGeometry(ColumnWidth, h - ButtonFromBottom, 96, 28);
    const int noticeLeft = ColumnWidth + 96 + 10;
    int noticeRight = w - MainFromRight - 10;
    if (m_noticeButton->isVisibleTo(this)) {
        const int buttonWidth = m_noticeButton->sizeHint().width();
        noticeRight -= buttonWidth + 8;
        m_noticeButton->setGeometry(noticeRight + 8, h - ButtonFromBottom, buttonWidth, 28);
    }
    // Two lines fit beside the buttons; a longer notice reaches up into the
    // list's room rather than being cut.
    const int noticeWidth = qMax(0, noticeRight - noticeLeft);
    constexpr int besideButtons = 36;
    const int needed = m_notice->isVisibleTo(this) ? m_notice->heightForWidth(noticeWidth) : 0;
    const int extra = qBound(0, needed - besideButtons, h / 3);
    m_notice->setGeometry(noticeLeft, h - ButtonFromBottom - 4 - extra, noticeWidth, besideButtons + extra);
    if (m_list)
        m_list->setGeometry(ColumnWidth, 0, w - ColumnWidth, h - ButtonsBand - extra);
    m_emptyHint->setGeometry(ColumnWidth + 20, 0, qMax(0, w - ColumnWidth - 40),
                             qMax(0, h - ButtonsBand - extra));
}

void WorkflowFrame::setNotice(const QString &text)
{
    if (m_notice->text() == text)
        return;
    m_notice->setText(text);
    m_notice->setToolTip(text);
    m_notice->setVisible(!text.isEmpty());
    layOut();
}

void WorkflowFrame::setNoticeAction(const QString &caption, std::function<void()> action)
{
    m_noticeAction = std::move(action);
    if (m_noticeButton->text() == caption && m_noticeButton->isVisibleTo(this) == !caption.isEmpty())
        return;
    m_noticeButton->setText(caption);
    m_noticeButton->setVisible(!caption.isEmpty());
    layOut();
}

QString WorkflowFrame::notice() const
{
    return m_notice->text();
}
