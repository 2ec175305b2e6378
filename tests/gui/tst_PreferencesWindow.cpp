#include "RecordingPlatform.h"
#include "ShowCounter.h"
#include "TestMain.h"

#include "app/PrefsFileWatcher.h"
#include "app/XPrefsSaving.h"
#include "prefs/gui/PreferencesWindow.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {
// Clicks a check box on its box (its centre may lie past the caption).
void click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class tst_PreferencesWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void layoutAndTexts();
    void opensWithTheStoredLanguages_data();
    void opensWithTheStoredLanguages();
    void opensWithTheStoredSwitchesAndAccount();
    void languageChoiceKeepsTheThreeNewest();
    void listAllFilesDrivesFindBetterSubs();
    void saveWritesTheFileAndTheValues();
    void saveKeepsWhatTheWindowCannotClear();
    void cancelChangesNothing();
    void corruptFileDoesNotBreakTheWindow();
    void unwritableFileIsReported();
    void linkOpensTheRegistrationPage();
    void changedFileIsReadAgain();
    void outsideChangesShowAndSurviveSave();
    void keyFieldFollowsTheServiceAndAddressesSave();

private:
    // A new start: defaults, then the preference file read afresh.
    void restart();
    PreferencesWindow *open();
    QStringList checkedCodes() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    RecordingPlatform *m_platform = nullptr;
    QPointer<PreferencesWindow> m_window;
};

void tst_PreferencesWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(u"prefs.plist"_s);
    auto platform = std::make_unique<RecordingPlatform>();
    m_platform = platform.get();
    m_platform->answer = Platform::ActionButton;
    installPlatform(std::move(platform));
    restart();
}

void tst_PreferencesWindow::cleanup()
{
    delete m_window;
    installPlatform(nullptr);
    XPrefs::setFilePathForTesting(QString());
    myPrefs::resetToDefaults();
    m_dir.reset();
}

void tst_PreferencesWindow::restart()
{
    myPrefs::resetToDefaults();
    XPrefs::setFilePathForTesting(m_path);
    myPrefs::loadAllPrefs();
}

PreferencesWindow *tst_PreferencesWindow::open()
{
    m_window = new PreferencesWindow;
    m_window->show();
    return m_window;
}

QStringList tst_PreferencesWindow::checkedCodes() const
{
    QStringList codes;
    for (int row : m_window->checkedRows())
        codes.append(m_window->languageCode(row));
    return codes;
}

void tst_PreferencesWindow::layoutAndTexts()
{
    PreferencesWindow *w = open();
    QCOMPARE(w->windowTitle(), u"Preferences"_s);
    QCOMPARE(w->size(), QSize(600, 486));
    QCOMPARE(w->GroupBox3()->title(), u"Select Up to Three Languages"_s);
    QCOMPARE(w->GroupBox2()->title(), u"OpenSubtitles"_s);
    QCOMPARE(w->GroupBox1()->title(), u"General"_s);
    QCOMPARE(w->languageList()->geometry(), QRect(29, 38, 185, 160));
    QCOMPARE(w->OSLink()->text(), u"Click Here to Create New User"_s);
    QVERIFY(!w->OSLink()->toolTip().isEmpty());
    QCOMPARE(w->OSPasswordField()->echoMode(), QLineEdit::Password);
    QCOMPARE(w->AddLanguageToNameCheck()->text(), u"Add Language to Sub Name"_s);
    QCOMPARE(w->ListAllFilesCheck()->text(), u"Include all Files in List"_s);
    QVERIFY(w->ListAllFilesCheck()->toolTip().contains(u"Checking this option will make all files"_s));
    QCOMPARE(w->RefreshSubsCheck()->geometry(), QRect(274, 87, 290, 20));
    QCOMPARE(w->RenameSubAsMovieCheck()->text(), u"Name Subtitle as Movie File"_s);
    QCOMPARE(w->AutoRetryCheck()->text(), u"Retry Automatically"_s);
    QCOMPARE(w->AutoSearchSubsCheck()->text(), u"Search Automatically on Drop/Select"_s);
    QCOMPARE(w->AutoGetSubsCheck()->text(), u"Automatically Download Subs after search"_s);
    QCOMPARE(w->AutoQuitCheck()->text(), u"Quit After Downloads Are Completed"_s);
    QVERIFY(w->AutoFlagNonHashCheck()->isHidden());
    QVERIFY(w->Label1()->isHidden());
    QCOMPARE(w->cancelButton()->text(), u"Cancel"_s);
    QVERIFY(w->SaveButton()->isDefault());
    // Every option explains itself, in a tooltip Qt wraps when it is long.
    for (QWidget *option : std::initializer_list<QWidget *>{
             w->AddLanguageToNameCheck(), w->ListAllFilesCheck(), w->RefreshSubsCheck(),
             w->RenameSubAsMovieCheck(), w->AutoRetryCheck(), w->AutoSearchSubsCheck(), w->AutoGetSubsCheck(),
             w->AutoQuitCheck(), w->ServiceProviderPopup(), w->RestApiKeyField(), w->OSUsernameField(),
             w->RestServerField(), w->OSAPIServerField()}) {
        const QString tip = option->toolTip();
        QVERIFY2(!tip.isEmpty(), qPrintable(option->objectName()));
        QVERIFY2(tip.size() <= 80 || tip.startsWith(u"<p>"_s), qPrintable(tip));
        // One font size in the whole window.
        QCOMPARE(option->font().pointSizeF(), w->font().pointSizeF());
    }
    // An e-mail address fits the account field.
    QVERIFY(w->OSUsernameField()->width() >=
            w->OSUsernameField()->fontMetrics().horizontalAdvance(u"someone.long@example.com"_s));

    // One row per language, by name as the interface writes it: flag code,
    // name, check box.
    QTreeWidget *list = w->languageList();
    QCOMPARE(list->topLevelItemCount(), 44);
    QCollator byName;
    byName.setCaseSensitivity(Qt::CaseInsensitive);
    for (int row = 1; row < list->topLevelItemCount(); ++row) {
        QVERIFY2(byName.compare(list->topLevelItem(row - 1)->text(1), list->topLevelItem(row)->text(1)) <= 0,
                 qPrintable(list->topLevelItem(row)->text(1)));
    }
    QCOMPARE(list->topLevelItem(0)->text(1), u"Albanian"_s);
    const QTreeWidgetItem *brazil = list->topLevelItem(w->rowOf(u"pb"_s));
    QCOMPARE(brazil->text(1), u"Portuguese (Brazil)"_s);
    QVERIFY(brazil->flags().testFlag(Qt::ItemIsUserCheckable));
    QVERIFY(!w->grab().isNull()); // the flags are drawn without trouble
}

void tst_PreferencesWindow::opensWithTheStoredLanguages_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<bool>("addLanguageEnabled");
    QTest::newRow("one") << QStringList{u"de"_s} << QStringList{u"de"_s} << true;
    QTest::newRow("two, in the stored order")
        << QStringList{u"es"_s, u"de"_s} << QStringList{u"es"_s, u"de"_s} << false;
    QTest::newRow("letter case and a repeat")
        << QStringList{u"FR"_s, u"fr"_s, u"en"_s} << QStringList{u"fr"_s, u"en"_s} << false;
    QTest::newRow("unknown code") << QStringList{u"xx"_s} << QStringList{} << true;
}

void tst_PreferencesWindow::opensWithTheStoredLanguages()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, checked);
    QFETCH(bool, addLanguageEnabled);
    myPrefs::setLanguageList(stored);
    myPrefs::setAddLanguageExt(false);
    PreferencesWindow *w = open();
    QCOMPARE(checkedCodes(), checked);
    for (int row = 0; row < w->languageList()->topLevelItemCount(); ++row) {
        const bool on = w->languageList()->topLevelItem(row)->checkState(2) == Qt::Checked;
        QCOMPARE(on, checked.contains(w->languageCode(row)));
    }
    QCOMPARE(w->AddLanguageToNameCheck()->isEnabled(), addLanguageEnabled);
    // The stored value is what the box shows, even where the languages disabled it.
    QVERIFY(!w->AddLanguageToNameCheck()->isChecked());
}

void tst_PreferencesWindow::opensWithTheStoredSwitchesAndAccount()
{
    myPrefs::Values v = myPrefs::values();
    v.languageList.clear();
    v.OSUsername = u"alice"_s;
    v.OSPassword = u"s3cret"_s;
    v.ListAllFiles = true;
    v.refreshSubs = true;
    v.RenameSubs = false;
    v.autoSearchSubs = true;
    v.autoGetSubs = true;
    v.AutoRetrySearch = true;
    v.AutoQuit = true;
    v.AutoFlagNonHash = true;
    myPrefs::setValues(v);
    PreferencesWindow *w = open();
    QCOMPARE(checkedCodes(), QStringList{u"en"_s}); // an empty list shows English
    QCOMPARE(w->OSUsernameField()->text(), u"alice"_s);
    QCOMPARE(w->OSPasswordField()->text(), u"s3cret"_s);
    QVERIFY(w->ListAllFilesCheck()->isChecked());
    QVERIFY(w->RefreshSubsCheck()->isEnabled());
    QVERIFY(w->RefreshSubsCheck()->isChecked());
    QVERIFY(!w->RenameSubAsMovieCheck()->isChecked());
    QVERIFY(w->AutoSearchSubsCheck()->isChecked());
    QVERIFY(w->AutoGetSubsCheck()->isChecked());
    QVERIFY(w->AutoRetryCheck()->isChecked());
    QVERIFY(w->AutoQuitCheck()->isChecked());
    QVERIFY(w->AutoFlagNonHashCheck()->isChecked());
}

void tst_PreferencesWindow::languageChoiceKeepsTheThreeNewest()
{
    PreferencesWindow *w = open(); // English
    QVERIFY(w->AddLanguageToNameCheck()->isEnabled());
    w->AddLanguageToNameCheck()->setChecked(false);

    w->setLanguageChecked(w->rowOf(u"es"_s), true);
    QVERIFY(!w->AddLanguageToNameCheck()->isEnabled());
    QVERIFY(w->AddLanguageToNameCheck()->isChecked()); // two languages: always in the name
    w->setLanguageChecked(w->rowOf(u"de"_s), true);
    QCOMPARE(w->Label1()->text(), u"3 languages selected (max. 3)"_s);

    // A fourth is refused, and the window says that three is the limit.
    w->setLanguageChecked(w->rowOf(u"fr"_s), true);
    QCOMPARE(checkedCodes(), (QStringList{u"en"_s, u"es"_s, u"de"_s}));
    QCOMPARE(w->languageList()->topLevelItem(w->rowOf(u"fr"_s))->checkState(2), Qt::Unchecked);
    QVERIFY(w->Label1()->isVisible());
    QVERIFY2(w->Label1()->text().contains(u"Three languages at most"_s), qPrintable(w->Label1()->text()));

    // Back to one: the box is free again and stays checked.
    w->setLanguageChecked(w->rowOf(u"es"_s), false);
    QVERIFY(w->Label1()->isHidden());
    w->setLanguageChecked(w->rowOf(u"de"_s), false);
    w->setLanguageChecked(w->rowOf(u"en"_s), false);
    w->setLanguageChecked(w->rowOf(u"fr"_s), true);
    QCOMPARE(checkedCodes(), QStringList{u"fr"_s});
    QVERIFY(w->AddLanguageToNameCheck()->isEnabled());
    QVERIFY(w->AddLanguageToNameCheck()->isChecked());
    QCOMPARE(w->Label1()->text(), u"1 languages selected (max. 3)"_s);

    // A click on a row's box does the same as checking it.
    QTreeWidget *list = w->languageList();
    const QModelIndex box = list->model()->index(w->rowOf(u"it"_s), 2);
    list->model()->setData(box, Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(checkedCodes(), (QStringList{u"fr"_s, u"it"_s}));
}

void tst_PreferencesWindow::listAllFilesDrivesFindBetterSubs()
{
    myPrefs::setRefreshSubs(true);
    PreferencesWindow *w = open();
    QVERIFY(!w->RefreshSubsCheck()->isEnabled());
    click(w->ListAllFilesCheck());
    QVERIFY(w->RefreshSubsCheck()->isEnabled());
    QVERIFY(w->RefreshSubsCheck()->isChecked()); // shows the stored value
    click(w->ListAllFilesCheck());
    QVERIFY(!w->RefreshSubsCheck()->isEnabled());
    QVERIFY(!w->RefreshSubsCheck()->isChecked());
}

void tst_PreferencesWindow::saveWritesTheFileAndTheValues()
{
    XPrefsSaving::installHooks();
    XPrefs::setSaveAlertWait(0); // the saving window shows at every save
    ShowCounter<XPrefsSaving> savingShown;

    PreferencesWindow *w = open();
    w->setLanguageChecked(w->rowOf(u"pb"_s), true);
    w->setLanguageChecked(w->rowOf(u"sv"_s), true);
    QTest::keyClicks(w->OSUsernameField(), u"alice"_s);
    QTest::keyClicks(w->OSPasswordField(), u"pa ss"_s);
    click(w->ListAllFilesCheck());
    click(w->RefreshSubsCheck());
    click(w->RenameSubAsMovieCheck());
    click(w->AutoSearchSubsCheck());
    click(w->AutoGetSubsCheck());
    click(w->AutoRetryCheck());
    click(w->AutoQuitCheck());
    QCOMPARE(w->ServiceProviderPopup()->currentData().toString(), u"rest"_s); // a new install
    QTest::keyClicks(w->RestApiKeyField(), u" k-123"_s);
    w->ServiceProviderPopup()->setCurrentIndex(w->ServiceProviderPopup()->findData(u"xmlrpc"_s));
    QTest::mouseClick(w->SaveButton(), Qt::LeftButton);
    savingShown.stop();
    XPrefs::setSaveAlertWait(2.0);
    XPrefs::setSavingWindowHooks({}, {});

    QVERIFY(!m_window || !m_window->isVisible());
    QTRY_VERIFY(!m_window); // closed and gone
    QCOMPARE(savingShown.count(), 1);

    myPrefs::Values expected;
    expected.languageList = QStringList{u"en"_s, u"pb"_s, u"sv"_s};
    expected.OSUsername = u"alice"_s;
    expected.OSPassword = u"pa ss"_s;
    expected.ListAllFiles = true;
    expected.refreshSubs = true;
    expected.RenameSubs = false;
    expected.autoSearchSubs = true;
    expected.autoGetSubs = true;
    expected.AutoRetrySearch = true;
    expected.AutoQuit = true;
    expected.ServiceProvider = u"xmlrpc"_s;
    expected.RestApiKey = u"k-123"_s;
    QCOMPARE(myPrefs::values(), expected);

    // The file holds them (only its owner may read the password) and a new start reads them back.
    QCOMPARE(QFile::permissions(m_path),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QVERIFY(readAll(m_path).contains("<key>OSPassword</key>\n<string>pa ss</string>"));
    restart();
    expected.AutoQuit = false; // never stored
    QCOMPARE(myPrefs::values(), expected);
}

void tst_PreferencesWindow::saveKeepsWhatTheWindowCannotClear()
{
    myPrefs::setLanguageList({u"de"_s, u"it"_s});
    myPrefs::setOSUsername(u"bob"_s);
    QVERIFY(myPrefs::save());

    PreferencesWindow *w = open();
    w->setLanguageChecked(w->rowOf(u"de"_s), false);
    w->setLanguageChecked(w->rowOf(u"it"_s), false);
    w->OSUsernameField()->clear();
    w->Save();
    QCOMPARE(myPrefs::languageList(), (QStringList{u"de"_s, u"it"_s}));
    restart();
    QCOMPARE(myPrefs::languageList(), (QStringList{u"de"_s, u"it"_s}));
    QCOMPARE(myPrefs::OSUsername(), u"bob"_s);
}

void tst_PreferencesWindow::cancelChangesNothing()
{
    QVERIFY(myPrefs::save());
    const QByteArray file = readAll(m_path);
    const myPrefs::Values before = myPrefs::values();

    for (bool byCancelButton : {true, false}) {
        PreferencesWindow *w = open();
        w->setLanguageChecked(w->rowOf(u"ja"_s), true);
        w->OSUsernameField()->setText(u"mallory"_s);
        w->AutoGetSubsCheck()->setChecked(true);
        w->AutoQuitCheck()->setChecked(true);
        if (byCancelButton)
            QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
        else
            QTest::keyClick(w->OSUsernameField(), Qt::Key_Escape); // as Cancel, from any field
        QTRY_VERIFY(!m_window);
        QCOMPARE(myPrefs::values(), before);
        QCOMPARE(readAll(m_path), file);
    }
}

void tst_PreferencesWindow::corruptFileDoesNotBreakTheWindow()
{
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "<?xml version=\"1.0\"?>\n<plist>\n<dict>\n<key>languageList</key>\n<array>\n<key>0</key>\n<str");
    }
    restart();
    PreferencesWindow *w = open();
    QCOMPARE(checkedCodes(), QStringList{u"en"_s});
    QVERIFY(w->OSUsernameField()->text().isEmpty());
    w->setLanguageChecked(w->rowOf(u"nl"_s), true);
    w->Save();
    QVERIFY(m_platform->dialogs.isEmpty());
    restart();
    QCOMPARE(myPrefs::languageList(), (QStringList{u"en"_s, u"nl"_s}));
}

void tst_PreferencesWindow::unwritableFileIsReported()
{
    // A folder where the file should be: nothing can be written there.
    QVERIFY(QDir().mkpath(m_path));
    restart();
    PreferencesWindow *w = open();
    w->AutoRetryCheck()->setChecked(true);
    w->Save();
    QCOMPARE(m_platform->dialogs.size(), 1);
    QCOMPARE(m_platform->dialogs.first().kind, u"stop"_s);
    QCOMPARE(m_platform->dialogs.first().message, u"The preferences could not be saved."_s);
    QVERIFY(m_platform->dialogs.first().explanation.contains(m_path));
    QVERIFY(myPrefs::AutoRetrySearch()); // still in effect for this run
    QTRY_VERIFY(!m_window);
}

void tst_PreferencesWindow::linkOpensTheRegistrationPage()
{
    PreferencesWindow *w = open();
    QTest::mouseClick(w->OSLink(), Qt::LeftButton);
    QCOMPARE(m_platform->opened, QList<QUrl>{QUrl(u"https://www.opensubtitles.org/en/newuser"_s)});
}

// Another program (lumbra-cli prefs --set) changes the file while Lumbra
// runs: the new values are taken in at once.
void tst_PreferencesWindow::changedFileIsReadAgain()
{
    myPrefs::setAutoRetrySearch(false);
    QVERIFY(myPrefs::save());
    myPrefs::setAutoRetrySearch(true);
    QVERIFY(myPrefs::save());
    const QByteArray changed = readAll(m_path);
    myPrefs::setAutoRetrySearch(false); // what Lumbra holds

    PrefsFileWatcher watcher(m_path);
    QSignalSpy reloaded(&watcher, &PrefsFileWatcher::reloaded);
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(changed);
    file.close();
    QTRY_COMPARE(reloaded.size(), 1);
    QVERIFY(myPrefs::AutoRetrySearch());
}

// With the window open, another program changes the file: the controls
// the user has not touched show the new values, and Save (pressed with
// Return) writes only what the user changed, over the new values.
void tst_PreferencesWindow::outsideChangesShowAndSurviveSave()
{
    PreferencesWindow *w = open();
    click(w->AutoGetSubsCheck()); // the user's own edit
    QTest::keyClicks(w->OSUsernameField(), u"alice"_s);

    myPrefs::Values outside = myPrefs::values();
    outside.AutoRetrySearch = true;
    outside.RestServer = u"http://127.0.0.1:9/api/v1"_s;
    outside.autoGetSubs = !w->AutoGetSubsCheck()->isChecked(); // changed outside as well: the edit wins
    myPrefs::setValues(outside);
    QVERIFY(myPrefs::save());
    w->takeOutsideChanges(); // as the application does when the file was read again
    QVERIFY(w->AutoRetryCheck()->isChecked());
    QCOMPARE(w->RestServerField()->text(), u"http://127.0.0.1:9/api/v1"_s);
    QCOMPARE(w->OSUsernameField()->text(), u"alice"_s);
    const bool autoGet = w->AutoGetSubsCheck()->isChecked();
    QCOMPARE(autoGet, !outside.autoGetSubs);

    // Changed on disk once more, and not yet read: Save reads it first.
    outside.AutoRetrySearch = false;
    outside.OSAPIServer = u"http://127.0.0.1:9/xml-rpc"_s;
    QTest::qWait(1100); // a newer file time, whatever the file system's resolution
    myPrefs::setValues(outside);
    QVERIFY(myPrefs::save());
    myPrefs::setAutoRetrySearch(true); // a stale copy in memory
    myPrefs::setOSAPIServer(u"http://stale"_s);
    QTest::keyClick(w->OSUsernameField(), Qt::Key_Return);
    QTRY_VERIFY(!m_window);
    restart();
    QVERIFY(!myPrefs::AutoRetrySearch());
    QCOMPARE(myPrefs::OSAPIServer(), u"http://127.0.0.1:9/xml-rpc"_s);
    QCOMPARE(myPrefs::RestServer(), u"http://127.0.0.1:9/api/v1"_s);
    QCOMPARE(myPrefs::OSUsername(), u"alice"_s);
    QCOMPARE(myPrefs::autoGetSubs(), autoGet);
}

// The REST API's key means nothing to XML-RPC; the addresses are saved.
void tst_PreferencesWindow::keyFieldFollowsTheServiceAndAddressesSave()
{
    PreferencesWindow *w = open();
    QVERIFY(w->RestApiKeyField()->isEnabled());
    w->ServiceProviderPopup()->setCurrentIndex(w->ServiceProviderPopup()->findData(u"xmlrpc"_s));
    QVERIFY(!w->RestApiKeyField()->isEnabled());
    w->focusApiKey(); // "no key yet" leads here: the REST API, cursor in the field
    QVERIFY(w->RestApiKeyField()->isEnabled());
    QCOMPARE(w->ServiceProviderPopup()->currentData().toString(), u"rest"_s);
    w->RestServerField()->setText(u"http://127.0.0.1:1/api/v1"_s);
    w->OSAPIServerField()->setText(u" http://127.0.0.1:2/xml-rpc "_s);
    w->Save();
    restart();
    QCOMPARE(myPrefs::RestServer(), u"http://127.0.0.1:1/api/v1"_s);
    QCOMPARE(myPrefs::OSAPIServer(), u"http://127.0.0.1:2/xml-rpc"_s);
}

LUMBRA_TEST_MAIN(tst_PreferencesWindow)
#include "tst_PreferencesWindow.moc"
