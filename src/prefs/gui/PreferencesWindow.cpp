#include "prefs/gui/PreferencesWindow.h"

#include "window/WindowHost.h"

#include "common/LangModule.h"
#include "common/translationStrings.h"
#include "controls/LangFlags.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "prefs/PrefSecrets.h"
#include "prefs/XPrefs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcPrefsWindow, "lumbra.prefs.window")

const char PreferencesWindow::NewUserUrl[] = "https://www.opensubtitles.org/en/newuser";

namespace {
enum Column { FlagColumn = 0, NameColumn = 1, CheckColumn = 2 };

// Draws the small flag of the row's code centred in the cell; a code
// without a picture leaves the cell empty.
class FlagDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &background, painter, background.widget);
        const QImage flag = LangModule::getFlagPic(index.data(Qt::UserRole).toString());
        if (flag.isNull())
            return;
        const QSize size = flag.size().scaled(option.rect.size(), Qt::KeepAspectRatio).boundedTo(flag.size());
        QRect place(QPoint(), size);
        place.moveCenter(option.rect.center());
        painter->drawImage(place, flag);
    }
};

// A tooltip as rich text, which Qt wraps to a readable width instead of
// one line as wide as the text.
QString wrappedTip(const QString &text)
{
    return u"<p>"_s + text.toHtmlEscaped() + u"</p>"_s;
}

// Copies one value from `edited` into `into` when the user changed it, that
// is when it differs from what the window showed.
template<typename T>
void takeIfEdited(myPrefs::Values &into, const myPrefs::Values &edited, const myPrefs::Values &shown,
                  T myPrefs::Values::*field)
{
    if (edited.*field != shown.*field)
        into.*field = edited.*field;
}

QDateTime fileStamp()
{
    return QFileInfo(XPrefs::filePath()).lastModified();
}
} // namespace

PreferencesWindow::PreferencesWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    using namespace translationStrings;
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(u"PreferencesWindow"_s);
    setFixedSize(600, 486);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(241, 240, 235));
    setPalette(colours);

    // Group boxes first: the controls drawn over them are their later siblings.
    m_languages = new QGroupBox(SelectUpToThreeLanguages(), this);
    m_languages->setObjectName(u"GroupBox3"_s);
    m_languages->setGeometry(20, 14, 202, 194);
    m_account = new QGroupBox(u"OpenSubtitles"_s, this);
    m_account->setObjectName(u"GroupBox2"_s);
    m_account->setGeometry(20, 220, 202, 130);
    m_general = new QGroupBox(u"General"_s, this);
    m_general->setObjectName(u"GroupBox1"_s);
    m_general->setGeometry(234, 14, 346, 336);
    m_advanced = new QGroupBox(tr("Advanced"), this);
    m_advanced->setObjectName(u"AdvancedBox"_s);
    m_advanced->setGeometry(20, 362, 560, 80);

    m_languageList = new QTreeWidget(this);
    m_languageList->setObjectName(u"languageList"_s);
    m_languageList->setGeometry(29, 38, 185, 160);
    m_languageList->setColumnCount(3);
    m_languageList->setHeaderHidden(true);
    m_languageList->setRootIsDecorated(false);
    m_languageList->setIndentation(0);
    m_languageList->setUniformRowHeights(true);
    m_languageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_languageList->setItemDelegateForColumn(FlagColumn, new FlagDelegate(m_languageList));
    QHeaderView *header = m_languageList->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(16);
    header->setSectionResizeMode(FlagColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(CheckColumn, QHeaderView::Fixed);
    header->resizeSection(FlagColumn, 20);
    header->resizeSection(CheckColumn, 20);

    // Label above field: the whole width of the box is left for an e-mail address.
    makeLabel(u"Label2"_s, OSUsernameLabel(), QRect(32, 238, 178, 18), false);
    m_user = new QLineEdit(this);
    m_user->setObjectName(u"OSUsernameField"_s);
    m_user->setGeometry(32, 256, 178, 22);
    m_user->setToolTip(tr("Your OpenSubtitles user name or e-mail; searching works without one"));
    makeLabel(u"Label3"_s, OSPasswordLabel(), QRect(32, 280, 178, 18), false);
    m_password = new QLineEdit(this);
    m_password->setObjectName(u"OSPasswordField"_s);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(32, 298, 178, 22);
    m_password->setToolTip(tr("The password of that account"));
    m_link = makeLabel(u"OSLink"_s, ClickHereToCreateNewUser(), QRect(20, 324, 202, 20), true);
    m_link->setAlignment(Qt::AlignCenter);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->setToolTip(u"Create your free OpenSubtitles account on the OpenSubtitles web site"_s);
    m_link->installEventFilter(this);

    m_addLanguage = makeCheck(u"AddLanguageToNameCheck"_s, AddLanguageExtension(), QRect(249, 38, 315, 20));
    m_listAll = makeCheck(u"ListAllFilesCheck"_s, ListAllFilesCheckCaption(), QRect(249, 63, 315, 20));
    m_listAll->setToolTip(wrappedTip(ListAllFilesCheckHelp()));
    m_refresh = makeCheck(u"RefreshSubsCheck"_s, ReGetSubs(), QRect(274, 87, 290, 20));
    m_refresh->setToolTip(tr("Searches again for videos that have subtitles, to replace them"));
    m_refresh->setEnabled(false);
    m_separator = new QFrame(this);
    m_separator->setObjectName(u"Separator1"_s);
    m_separator->setFrameShape(QFrame::HLine);
    m_separator->setFrameShadow(QFrame::Sunken);
    m_separator->setGeometry(249, 113, 315, 5);
    m_rename = makeCheck(u"RenameSubAsMovieCheck"_s, RenameSubsAsMovie(), QRect(249, 123, 315, 20));
    m_autoRetry = makeCheck(u"AutoRetryCheck"_s, AutoRetry(), QRect(249, 144, 315, 20));
    m_autoSearch = makeCheck(u"AutoSearchSubsCheck"_s, AutoSearch(), QRect(249, 165, 315, 20));
    m_autoGet = makeCheck(u"AutoGetSubsCheck"_s, AutoDownload(), QRect(249, 187, 315, 20));
    m_autoQuit = makeCheck(u"AutoQuitCheck"_s, AutoQuitAfterDownload(), QRect(249, 209, 315, 20));
    m_rename->setToolTip(tr("Names the subtitle after its video: Movie.srt beside Movie.mkv"));
    m_autoRetry->setToolTip(tr("Tries a failed search again after a countdown that grows each time"));
    m_autoSearch->setToolTip(tr("Searches as soon as videos are dropped or opened"));
    m_autoGet->setToolTip(tr("Downloads the best subtitles as soon as the search ends"));
    m_autoQuit->setToolTip(tr("Quits Lumbra once every subtitle is placed"));
    m_autoFlag = makeCheck(u"AutoFlagNonHashCheck"_s, u"#AutoFlagNonHash"_s, QRect(249, 232, 315, 20));
    m_autoFlag->setVisible(false);
    makeServiceControls();
    m_embeddedSubs = makeCheck(u"EmbeddedSubsCountCheck"_s, tr("Count subtitles inside the video"),
                               QRect(249, 302, 315, 20));
    m_embeddedSubs->setToolTip(tr("A text subtitle stream inside the video in a wanted language counts as a "
                                  "subtitle the video has: no search or download for that language."));
    m_fixTiming = makeCheck(u"FixTimingCheck"_s, tr("Fix timing after download"), QRect(249, 324, 315, 20));
    m_fixTiming->setToolTip(tr("Measure each downloaded subtitle against the video's speech and move or "
                               "stretch it when Lumbra is sure it is out of step"));
    makeAdvancedControls();
    // Says why a fourth language was not ticked; hidden otherwise.
    m_count = makeLabel(u"Label1"_s, QString(), QRect(20, 452, 380, 24), true);
    m_count->setVisible(false);

    m_cancel = new QPushButton(CancelButtonTitle(), this);
    m_cancel->setObjectName(u"cancelButton"_s);
    m_cancel->setGeometry(408, 452, 80, 24);
    m_save = new QPushButton(SaveButtonTitle(), this);
    m_save->setObjectName(u"SaveButton"_s);
    m_save->setGeometry(500, 452, 80, 24);
    // Return presses it (keyPressEvent); drawn as the default button.
    m_save->setDefault(true);

    connect(m_languageList, &QTreeWidget::itemChanged, this, &PreferencesWindow::languageList_CellAction);
    connect(m_listAll, &QCheckBox::toggled, this, &PreferencesWindow::ListAllFilesCheck_Action);
    connect(m_save, &QPushButton::clicked, this, &PreferencesWindow::Save);
    connect(m_cancel, &QPushButton::clicked, this, &PreferencesWindow::Cancel);
    connect(m_provider, &QComboBox::currentIndexChanged, this, &PreferencesWindow::updateApiKeyField);
    if (WindowHost *app = WindowHost::instance())
        connect(app, &WindowHost::preferencesReloaded, this, &PreferencesWindow::takeOutsideChanges);

    Open();
}

// Which interface of the service to use, and the key the REST API asks for.
void PreferencesWindow::makeServiceControls()
{
    auto *separator = new QFrame(this);
    separator->setObjectName(u"Separator2"_s);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(249, 236, 315, 5);
    makeLabel(u"ServiceLabel"_s, tr("Service:"), QRect(249, 248, 90, 20), false);
    m_provider = new QComboBox(this);
    m_provider->setObjectName(u"ServiceProviderPopup"_s);
    m_provider->setGeometry(340, 246, 224, 22);
    m_provider->setToolTip(tr("The REST API serves every account; XML-RPC only paying ones"));
    m_provider->addItem(tr("REST API (any account)"), QString(myPrefs::kProviderRest));
    m_provider->addItem(tr("XML-RPC (paying accounts only)"), QString(myPrefs::kProviderXmlRpc));
    makeLabel(u"RestApiKeyLabel"_s, tr("REST API key:"), QRect(249, 276, 90, 20), false);
    m_apiKey = new QLineEdit(this);
    m_apiKey->setObjectName(u"RestApiKeyField"_s);
    m_apiKey->setGeometry(340, 276, 224, 22);
    m_apiKey->setPlaceholderText(tr("get one at opensubtitles.com/consumers"));
    m_apiKey->setToolTip(wrappedTip(tr("The REST API wants an application key: create one, free, at "
                                       "https://www.opensubtitles.com/en/consumers")));
}

// Where the service answers; only a test server or a mirror needs them changed.
void PreferencesWindow::makeAdvancedControls()
{
    makeLabel(u"RestServerLabel"_s, tr("REST API root:"), QRect(32, 384, 120, 22), false);
    m_restServer = new QLineEdit(this);
    m_restServer->setObjectName(u"RestServerField"_s);
    m_restServer->setGeometry(160, 384, 408, 22);
    m_restServer->setToolTip(tr("Where the REST API answers, ending in /api/v1"));
    makeLabel(u"OSAPIServerLabel"_s, tr("XML-RPC address:"), QRect(32, 412, 120, 22), false);
    m_xmlRpcServer = new QLineEdit(this);
    m_xmlRpcServer->setObjectName(u"OSAPIServerField"_s);
    m_xmlRpcServer->setGeometry(160, 412, 408, 22);
    m_xmlRpcServer->setToolTip(tr("Where the XML-RPC interface answers"));
}

void PreferencesWindow::updateApiKeyField()
{
    // The key is the REST API's alone.
    m_apiKey->setEnabled(m_provider->currentData().toString() == QLatin1StringView(myPrefs::kProviderRest));
}

void PreferencesWindow::focusApiKey()
{
    const int rest = m_provider->findData(QString(myPrefs::kProviderRest));
    if (rest >= 0)
        m_provider->setCurrentIndex(rest);
    m_apiKey->setFocus(Qt::OtherFocusReason);
    m_apiKey->selectAll();
}

QCheckBox *PreferencesWindow::makeCheck(const QString &name, const QString &caption, const QRect &place)
{
    auto *box = new QCheckBox(caption, this);
    box->setObjectName(name);
    box->setGeometry(place);
    return box;
}

QLabel *PreferencesWindow::makeLabel(const QString &name, const QString &text, const QRect &place, bool bold)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(name);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    label->setGeometry(place);
    return label;
}

void PreferencesWindow::Open()
{
    setWindowTitle(translationStrings::PreferencesWindowTitle());
    makeLanguageRows();
    showValues(myPrefs::values());
}

void PreferencesWindow::makeLanguageRows()
{
    const QSignalBlocker quiet(m_languageList);
    // Listed by name as the interface names them, not by code.
    QStringList codes = LangModule::langArray();
    QCollator byName;
    byName.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(codes.begin(), codes.end(), [&byName](const QString &a, const QString &b) {
        return byName.compare(LangModule::getLangFull(a), LangModule::getLangFull(b)) < 0;
    });
    for (const QString &code : codes) {
        auto *row = new QTreeWidgetItem(m_languageList);
        row->setData(FlagColumn, Qt::UserRole, code);
        const QString name = LangModule::getLangFull(code);
        row->setText(NameColumn, name);
        row->setData(NameColumn, Qt::UserRole, name);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(CheckColumn, Qt::Unchecked);
    }
}

void PreferencesWindow::showValues(const myPrefs::Values &prefs)
{
    m_shown = prefs;
    m_shownStamp = fileStamp();

    m_settingChecks = true;
    for (int row : std::as_const(m_checkedRows))
        m_languageList->topLevelItem(row)->setCheckState(CheckColumn, Qt::Unchecked);
    m_checkedRows.clear();
    const QStringList preferred = prefs.languageList.isEmpty() ? QStringList{u"en"_s} : prefs.languageList;
    for (const QString &code : preferred) {
        const int row = rowOf(code);
        // A hand-edited file may name a language twice: one row, one entry.
        if (row < 0 || m_checkedRows.contains(row) || m_checkedRows.size() >= MaxLanguages)
            continue;
        m_languageList->topLevelItem(row)->setCheckState(CheckColumn, Qt::Checked);
        m_checkedRows.append(row);
    }
    m_settingChecks = false;
    updateAddLanguageCheck();

    m_user->setText(prefs.OSUsername);
    m_password->setText(prefs.OSPassword);
    // In this order: the stored addLanguageExt is what its box finally
    // shows, even when two languages have just disabled it.
    m_listAll->setChecked(prefs.ListAllFiles);
    m_refresh->setEnabled(prefs.ListAllFiles);
    m_refresh->setChecked(prefs.refreshSubs);
    m_embeddedSubs->setChecked(prefs.EmbeddedSubsCount);
    m_rename->setChecked(prefs.RenameSubs);
    m_addLanguage->setChecked(prefs.addLanguageExt);
    m_autoSearch->setChecked(prefs.autoSearchSubs);
    m_autoGet->setChecked(prefs.autoGetSubs);
    m_autoRetry->setChecked(prefs.AutoRetrySearch);
    m_autoQuit->setChecked(prefs.AutoQuit);
    m_autoFlag->setChecked(prefs.AutoFlagNonHash);
    m_fixTiming->setChecked(prefs.fixTimingAfterDownload);
    const int provider = m_provider->findData(myPrefs::providerNamed(prefs.ServiceProvider));
    m_provider->setCurrentIndex(provider < 0 ? 0 : provider);
    updateApiKeyField();
    m_apiKey->setText(prefs.RestApiKey);
    m_restServer->setText(prefs.RestServer);
    m_xmlRpcServer->setText(prefs.OSAPIServer);
}

myPrefs::Values PreferencesWindow::controlValues(const myPrefs::Values &base) const
{
    myPrefs::Values prefs = base;
    QStringList codes;
    for (int row : std::as_const(m_checkedRows))
        codes.append(languageCode(row));
    // No language checked keeps the list: there must be one to search in.
    if (!codes.isEmpty())
        prefs.languageList = codes;
    prefs.OSUsername = m_user->text();
    prefs.OSPassword = m_password->text();
    prefs.ListAllFiles = m_listAll->isChecked();
    prefs.refreshSubs = m_refresh->isChecked();
    prefs.EmbeddedSubsCount = m_embeddedSubs->isChecked();
    prefs.RenameSubs = m_rename->isChecked();
    prefs.addLanguageExt = m_addLanguage->isChecked();
    prefs.autoSearchSubs = m_autoSearch->isChecked();
    prefs.autoGetSubs = m_autoGet->isChecked();
    prefs.AutoRetrySearch = m_autoRetry->isChecked();
    prefs.AutoQuit = m_autoQuit->isChecked();
    prefs.fixTimingAfterDownload = m_fixTiming->isChecked();
    prefs.ServiceProvider = m_provider->currentData().toString();
    prefs.RestApiKey = m_apiKey->text().trimmed();
    prefs.RestServer = m_restServer->text().trimmed();
    prefs.OSAPIServer = m_xmlRpcServer->text().trimmed();
    return prefs;
}

myPrefs::Values PreferencesWindow::withEdits(const myPrefs::Values &base) const
{
    using V = myPrefs::Values;
    const V edited = controlValues(m_shown);
    V result = base;
    takeIfEdited(result, edited, m_shown, &V::languageList);
    takeIfEdited(result, edited, m_shown, &V::OSUsername);
    takeIfEdited(result, edited, m_shown, &V::OSPassword);
    takeIfEdited(result, edited, m_shown, &V::ListAllFiles);
    takeIfEdited(result, edited, m_shown, &V::refreshSubs);
    takeIfEdited(result, edited, m_shown, &V::EmbeddedSubsCount);
    takeIfEdited(result, edited, m_shown, &V::RenameSubs);
    takeIfEdited(result, edited, m_shown, &V::addLanguageExt);
    takeIfEdited(result, edited, m_shown, &V::autoSearchSubs);
    takeIfEdited(result, edited, m_shown, &V::autoGetSubs);
    takeIfEdited(result, edited, m_shown, &V::AutoRetrySearch);
    takeIfEdited(result, edited, m_shown, &V::AutoQuit);
    takeIfEdited(result, edited, m_shown, &V::fixTimingAfterDownload);
    takeIfEdited(result, edited, m_shown, &V::ServiceProvider);
    takeIfEdited(result, edited, m_shown, &V::RestApiKey);
    takeIfEdited(result, edited, m_shown, &V::RestServer);
    takeIfEdited(result, edited, m_shown, &V::OSAPIServer);
    return result;
}

void PreferencesWindow::takeOutsideChanges()
{
    const myPrefs::Values outside = myPrefs::values();
    const myPrefs::Values merged = withEdits(outside);
    showValues(merged);
    // What the user changed stays changed against the new values.
    m_shown = outside;
}

QString PreferencesWindow::languageCode(int row) const
{
    const QTreeWidgetItem *item = m_languageList->topLevelItem(row);
    return item ? item->data(FlagColumn, Qt::UserRole).toString() : QString();
}

int PreferencesWindow::rowOf(const QString &code) const
{
    for (int row = 0; row < m_languageList->topLevelItemCount(); ++row) {
        if (languageCode(row).compare(code, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

void PreferencesWindow::setLanguageChecked(int row, bool checked)
{
    if (QTreeWidgetItem *item = m_languageList->topLevelItem(row))
        item->setCheckState(CheckColumn, checked ? Qt::Checked : Qt::Unchecked);
}

void PreferencesWindow::languageList_CellAction(QTreeWidgetItem *item, int column)
{
    if (m_settingChecks || column != CheckColumn)
        return;
    checkRow(m_languageList->indexOfTopLevelItem(item));
}

void PreferencesWindow::checkRow(int row)
{
    const bool checked = m_languageList->topLevelItem(row)->checkState(CheckColumn) == Qt::Checked;
    if (!checked) {
        m_checkedRows.removeAll(row);
    } else if (!m_checkedRows.contains(row)) {
        if (m_checkedRows.size() >= MaxLanguages) {
            // Refused, not traded for a choice the user may not see (it can
            // be scrolled out of view): the user unticks one first.
            m_settingChecks = true;
            m_languageList->topLevelItem(row)->setCheckState(CheckColumn, Qt::Unchecked);
            m_settingChecks = false;
            m_count->setText(tr("Three languages at most: untick one to choose another."));
            m_count->show();
            return;
        }
        m_checkedRows.append(row);
    }
    m_count->hide();
    updateAddLanguageCheck();
    m_count->setText(QString::number(m_checkedRows.size()) + u" "_s +
                     translationStrings::languagesSelectedPrompt());
}

void PreferencesWindow::updateAddLanguageCheck()
{
    // With two or more languages the language always goes into the name, or
    // the subtitles of one video would overwrite each other.
    if (m_checkedRows.size() < 2) {
        m_addLanguage->setEnabled(true);
        m_addLanguage->setToolTip(tr("Adds the language code to the subtitle's name: Movie.en.srt"));
    } else {
        m_addLanguage->setChecked(true);
        m_addLanguage->setEnabled(false);
        m_addLanguage->setToolTip(
            wrappedTip(tr("With two or more languages the language code is always added to the "
                          "subtitle's name, so that one video's subtitles never take the same name.")));
    }
}

void PreferencesWindow::ListAllFilesCheck_Action(bool checked)
{
    m_refresh->setEnabled(checked);
    m_refresh->setChecked(checked && m_shown.refreshSubs);
}

void PreferencesWindow::OSLink_Clicked()
{
    if (!platform().openUrl(QUrl(QString::fromLatin1(NewUserUrl))))
        qCWarning(lcPrefsWindow) << "No browser took" << NewUserUrl;
}

bool PreferencesWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_link && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
        m_link->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
        OSLink_Clicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PreferencesWindow::Save()
{
    // Another program may have saved since the window showed the values:
    // its changes stand, unless the user changed the same value here.
    if (fileStamp() != m_shownStamp) {
        XPrefs::Load();
        myPrefs::loadAllPrefs();
    }
    myPrefs::setValues(withEdits(myPrefs::values()));

    if (!myPrefs::save()) {
        qCWarning(lcPrefsWindow) << "Could not write" << XPrefs::filePath() << "error"
                                 << XPrefs::LastErrorCode();
        MessageDialogRequest failed;
        failed.kind = u"stop"_s;
        failed.actionCaption = u"OK"_s;
        failed.message = u"The preferences could not be saved."_s;
        // The words of the failure (the path and the cause), not its number.
        failed.explanation = u"They apply until Lumbra quits: %1."_s.arg(XPrefs::LastErrorText());
        platform().showMessageDialog(this, failed);
    } else if (const QString notice = PrefSecrets::takeFileNotice(); !notice.isEmpty()) {
        MessageDialogRequest fileKept;
        fileKept.kind = u"note"_s;
        fileKept.actionCaption = u"OK"_s;
        fileKept.message = u"The password is stored in a file."_s;
        fileKept.explanation = notice;
        platform().showMessageDialog(this, fileKept);
    }
    close();
}

void PreferencesWindow::Cancel()
{
    close();
}

void PreferencesWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Cancel();
        return;
    }
    // Return reaches the window from every control that does not use it.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (focusWidget() == m_cancel)
            Cancel();
        else
            Save();
        return;
    }
    QWidget::keyPressEvent(event);
}
