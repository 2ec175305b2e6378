#pragma once

#include "prefs/myPrefs.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

class QCheckBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The preferences: up to three subtitle languages, the OpenSubtitles
// account, the switches that steer searching, downloading and naming, and
// the service's addresses. The window works on copies in its controls; Save
// writes only what the user changed in the window over the preferences as
// they are then (another program may have changed others meanwhile), and
// Return presses it. Changes made outside while it is open show in the
// controls the user has not touched. Cancel, or closing the window, changes
// nothing. The window deletes itself when it closes.
class PreferencesWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxLanguages = 3;
    // Where the link under the account fields leads.
    static const char NewUserUrl[];

    explicit PreferencesWindow(QWidget *parent = nullptr);

    // The language rows (one per two-letter code, in table order): column 0
    // the flag (the code as its data), 1 the name, 2 the check box.
    QTreeWidget *languageList() const { return m_languageList; }
    // The two-letter code of row `row`.
    QString languageCode(int row) const;
    // The checked rows, oldest first.
    QList<int> checkedRows() const { return m_checkedRows; }
    // Checks or unchecks the box of row `row`, as a click on it does.
    void setLanguageChecked(int row, bool checked);
    // The row of a two-letter code, or -1.
    int rowOf(const QString &code) const;

    QGroupBox *GroupBox1() const { return m_general; }
    QGroupBox *GroupBox2() const { return m_account; }
    QGroupBox *GroupBox3() const { return m_languages; }
    QLineEdit *OSUsernameField() const { return m_user; }
    QLineEdit *OSPasswordField() const { return m_password; }
    QLabel *OSLink() const { return m_link; }
    QCheckBox *AddLanguageToNameCheck() const { return m_addLanguage; }
    QCheckBox *ListAllFilesCheck() const { return m_listAll; }
    QCheckBox *RefreshSubsCheck() const { return m_refresh; }
    QCheckBox *EmbeddedSubsCountCheck() const { return m_embeddedSubs; }
    QCheckBox *RenameSubAsMovieCheck() const { return m_rename; }
    QCheckBox *AutoRetryCheck() const { return m_autoRetry; }
    QCheckBox *AutoSearchSubsCheck() const { return m_autoSearch; }
    QCheckBox *AutoGetSubsCheck() const { return m_autoGet; }
    QCheckBox *AutoQuitCheck() const { return m_autoQuit; }
    QCheckBox *AutoFlagNonHashCheck() const { return m_autoFlag; }
    QCheckBox *FixTimingCheck() const { return m_fixTiming; }
    // The service interface (REST or XML-RPC) and the REST API's key.
    QComboBox *ServiceProviderPopup() const { return m_provider; }
    QLineEdit *RestApiKeyField() const { return m_apiKey; }
    // The service's addresses: the REST API's root and the XML-RPC endpoint.
    QLineEdit *RestServerField() const { return m_restServer; }
    QLineEdit *OSAPIServerField() const { return m_xmlRpcServer; }
    // The (hidden) count of checked languages.
    QLabel *Label1() const { return m_count; }
    QPushButton *SaveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }

public Q_SLOTS:
    // Copies the controls into the preference values, writes the file and
    // closes the window. A file that cannot be written is reported; the
    // values still apply until Lumbra quits.
    void Save();
    // Closes the window without changing anything.
    void Cancel();
    // The preferences changed outside the window (the file was read again):
    // the controls the user has not touched show the new values.
    void takeOutsideChanges();
    // Puts the cursor in the REST API key's field (for "no key yet").
    void focusApiKey();

protected:
    // Escape cancels, as the Cancel button does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Open();
    void makeLanguageRows();
    void makeAdvancedControls();
    // Shows `values` in the controls.
    void showValues(const myPrefs::Values &values);
    // `base` with every value the user changed in the window since it last
    // showed the preferences.
    myPrefs::Values withEdits(const myPrefs::Values &base) const;
    // What the controls hold, over `base` for what they do not show.
    myPrefs::Values controlValues(const myPrefs::Values &base) const;
    void updateApiKeyField();
    QCheckBox *makeCheck(const QString &name, const QString &caption, const QRect &place);
    QLabel *makeLabel(const QString &name, const QString &text, const QRect &place, bool bold);
    void makeServiceControls();
    void languageList_CellAction(QTreeWidgetItem *item, int column);
    void checkRow(int row);
    void updateAddLanguageCheck();
    void ListAllFilesCheck_Action(bool checked);
    void OSLink_Clicked();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QGroupBox *m_languages;
    QTreeWidget *m_languageList;
    QGroupBox *m_account;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLabel *m_link;
    QGroupBox *m_general;
    QCheckBox *m_addLanguage;
    QCheckBox *m_listAll;
    QCheckBox *m_refresh;
    QCheckBox *m_embeddedSubs;
    QFrame *m_separator;
    QCheckBox *m_rename;
    QCheckBox *m_autoRetry;
    QCheckBox *m_autoSearch;
    QCheckBox *m_autoGet;
    QCheckBox *m_autoQuit;
    QCheckBox *m_autoFlag;
    QCheckBox *m_fixTiming;
    QComboBox *m_provider;
    QLineEdit *m_apiKey;
    QGroupBox *m_advanced;
    QLineEdit *m_restServer;
    QLineEdit *m_xmlRpcServer;
    QLabel *m_count;
    QPushButton *m_cancel;
    QPushButton *m_save;

    QList<int> m_checkedRows;
    // The preferences as the controls last showed them.
    myPrefs::Values m_shown;
    QDateTime m_shownStamp; // the preference file's time then
    // Set while the window changes boxes itself, so their change signals
    // are not taken for the user's.
    bool m_settingChecks = false;
};
