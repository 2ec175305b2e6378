#pragma once

#include <QString>
#include <QStringList>

// Every text of the user interface that can be translated, by name. Each
// function returns the text in the given interface language (a code such as
// "de"; empty means the language of the translators installed in the
// application) and falls back to the English default, unchanged, when no
// translation exists. "\n" in a text is the two characters backslash and n:
// the drop panels turn it into a line break when they draw it. Words between
// "^" marks are placeholders the caller replaces.
//
// Translations are Qt .ts files under resources/translations/, compiled into
// the core library as :/i18n/lumbra_<language>.qm. The lookup context is
// "translationStrings", the source text the English default and the
// disambiguation the key, so two keys with the same English text can be
// translated differently.
namespace translationStrings {

// Loads the translation for `locale` (e.g. "de" or "pt_BR"; empty = the
// system's UI languages) and installs it in the application. Returns false
// when no translation for that language ships with Lumbra, in which case the
// English defaults stay in effect. Call on the main thread at start-up.
bool installTranslator(const QString &locale = {});

// The text named `key` (e.g. "AutoRetry"), or an empty text for an unknown key.
QString text(const QString &key, const QString &language = {});
// The English default of `key`, or an empty text for an unknown key.
QString englishDefault(const QString &key);
// Every key, in table order.
QStringList keys();

// Translates `source` in `context` with `disambiguation` into `language`
// (empty = the installed translators), falling back to `source`. Shared
// with the language table.
QString translate(const char *context, const char *source, const char *disambiguation,
                  const QString &language);

QString AddLanguageExtension(const QString &language = {});
QString AutoDownload(const QString &language = {});
QString AutoRetry(const QString &language = {});
QString AutoSearch(const QString &language = {});
QString CancelButtonTitle(const QString &language = {});
QString CheckedMovsLabelPrompt(const QString &language = {});
QString ClickHereToCreateNewUser(const QString &language = {});
QString CloseMenuItem(const QString &language = {});
QString DoneSubsButtonTitle(const QString &language = {});
QString DownloadingSubsButtonTitle(const QString &language = {});
QString DownloadSubsButtonTitle(const QString &language = {});
QString dropMovieFilesLabel(const QString &language = {});
QString dropSubFilesLabel(const QString &language = {});
QString EditMenuItem(const QString &language = {});
QString FileMenuItem(const QString &language = {});
QString FindingSubsButtonTitle(const QString &language = {});
QString GetSubtitlesWindowTitle(const QString &language = {});
QString homeWindowTitle(const QString &language = {});
QString languagesSelectedPrompt(const QString &language = {});
QString ListAllFilesCheckCaption(const QString &language = {});
QString ListAllFilesCheckHelp(const QString &language = {});
QString menuOpenMovieWebText(const QString &language = {});
QString menuOpenSubWebText(const QString &language = {});
QString menuPreviewSubText(const QString &language = {});
QString menuRevealFileText(const QString &language = {});
QString OptionsMenuItem(const QString &language = {});
QString OSPasswordLabel(const QString &language = {});
QString OSUsernameLabel(const QString &language = {});
QString PutSubtitlesWindowTitle(const QString &language = {});
QString ReGetSubs(const QString &language = {});
QString RenameSubsAsMovie(const QString &language = {});
QString SaveButtonTitle(const QString &language = {});
QString SearchSubsButtonTitle(const QString &language = {});
QString SelectUpToThreeLanguages(const QString &language = {});
QString VerifyingSubs(const QString &language = {});
QString VerifySubsButtonTitle(const QString &language = {});
QString WindowMenuItem(const QString &language = {});
QString SelectSubsButtonTitle(const QString &language = {});
QString AutoQuitAfterDownload(const QString &language = {});
QString DragVideosHere(const QString &language = {});
QString dropMovieFilesLabelDrag(const QString &language = {});
QString dropSubFilesLabelDrag(const QString &language = {});
QString DragVideosHereDrag(const QString &language = {});
QString menuPreviewSubByLangText(const QString &language = {});
QString PreferencesWindowTitle(const QString &language = {});
QString RetryInSecsTitle(const QString &language = {});
QString GetSubtitlesMenuTitle(const QString &language = {});
QString SubtitlePreviewWindow(const QString &language = {});
QString SearchInWebCMM(const QString &language = {});
QString WrongLanguage(const QString &language = {});
QString MachineTranslated(const QString &language = {});
QString NotSyncd(const QString &language = {});
QString DontPickThis(const QString &language = {});
QString DragSubsHere(const QString &language = {});
QString DragSubsHereDrag(const QString &language = {});
QString ConfirmSubsButtonTitle(const QString &language = {});
QString SelectSubButtonTitle(const QString &language = {});
QString UploadSubtitlesButtonTitle(const QString &language = {});
QString ConfirmSubMetadataButtonTitle(const QString &language = {});
QString UploadingSubsButtonTitle(const QString &language = {});
QString UploadCheckedSubtitlesButtonTitle(const QString &language = {});

} // namespace translationStrings
