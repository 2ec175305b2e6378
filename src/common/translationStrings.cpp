#include "common/translationStrings.h"

#include <QCoreApplication>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QTranslator>

#include <cstring>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace translationStrings {
namespace {

struct Entry {
    const char *source;
    const char *key;
};

constexpr char Context[] = "translationStrings";

// QT_TRANSLATE_NOOP3 marks each text for lupdate; the comment is the key.
const Entry table[] = {
    QT_TRANSLATE_NOOP3("translationStrings", "Add Language to Sub Name", "AddLanguageExtension"),
    QT_TRANSLATE_NOOP3("translationStrings", "Automatically Download Subs after search", "AutoDownload"),
    QT_TRANSLATE_NOOP3("translationStrings", "Retry Automatically", "AutoRetry"),
    QT_TRANSLATE_NOOP3("translationStrings", "Search Automatically on Drop/Select", "AutoSearch"),
    QT_TRANSLATE_NOOP3("translationStrings", "Cancel", "CancelButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "^checkedrows marked (^totalrows in list)",
                       "CheckedMovsLabelPrompt"),
    QT_TRANSLATE_NOOP3("translationStrings", "Click Here to Create New User", "ClickHereToCreateNewUser"),
    QT_TRANSLATE_NOOP3("translationStrings", "Close", "CloseMenuItem"),
    QT_TRANSLATE_NOOP3("translationStrings", "Done", "DoneSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Downloading…", "DownloadingSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Download Checked", "DownloadSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drag movies\\nhere", "dropMovieFilesLabel"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drag subtitles\\nhere", "dropSubFilesLabel"),
    QT_TRANSLATE_NOOP3("translationStrings", "Edit", "EditMenuItem"),
    QT_TRANSLATE_NOOP3("translationStrings", "File", "FileMenuItem"),
    QT_TRANSLATE_NOOP3("translationStrings", "Finding Subtitles…", "FindingSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Get Subtitles", "GetSubtitlesWindowTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Home Window", "homeWindowTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "languages selected (max. 3)", "languagesSelectedPrompt"),
    QT_TRANSLATE_NOOP3("translationStrings", "Include all Files in List", "ListAllFilesCheckCaption"),
    QT_TRANSLATE_NOOP3("translationStrings",
                       "Checking this option will make all files selected/dropped to be included in the "
                       "search list initially (checkbox will be checked intelligently). Unchecking this list "
                       "will make the list include only relevant files.",
                       "ListAllFilesCheckHelp"),
    QT_TRANSLATE_NOOP3("translationStrings", "Open Movie Web Page", "menuOpenMovieWebText"),
    QT_TRANSLATE_NOOP3("translationStrings", "Open Subtitle Web Page", "menuOpenSubWebText"),
    QT_TRANSLATE_NOOP3("translationStrings", "Preview Subtitle over Video", "menuPreviewSubText"),
    QT_TRANSLATE_NOOP3("translationStrings", "Reveal video file", "menuRevealFileText"),
    QT_TRANSLATE_NOOP3("translationStrings", "Preferences", "OptionsMenuItem"),
    QT_TRANSLATE_NOOP3("translationStrings", "Password", "OSPasswordLabel"),
    QT_TRANSLATE_NOOP3("translationStrings", "User name", "OSUsernameLabel"),
    QT_TRANSLATE_NOOP3("translationStrings", "Upload Subtitles", "PutSubtitlesWindowTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Find Better Subs", "ReGetSubs"),
    QT_TRANSLATE_NOOP3("translationStrings", "Name Subtitle as Movie File", "RenameSubsAsMovie"),
    QT_TRANSLATE_NOOP3("translationStrings", "Save", "SaveButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Search Subtitles", "SearchSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Select Up to Three Languages", "SelectUpToThreeLanguages"),
    QT_TRANSLATE_NOOP3("translationStrings", "Verifying Subtitles", "VerifyingSubs"),
    QT_TRANSLATE_NOOP3("translationStrings", "Verify Subtitles", "VerifySubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Window", "WindowMenuItem"),
    QT_TRANSLATE_NOOP3("translationStrings", "Download Selected", "SelectSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Quit After Downloads Are Completed", "AutoQuitAfterDownload"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drag\\nVideos\\nHere", "DragVideosHere"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drop movies\\nhere", "dropMovieFilesLabelDrag"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drop subtitles\\nhere", "dropSubFilesLabelDrag"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drop\\nVideos\\nHere", "DragVideosHereDrag"),
    QT_TRANSLATE_NOOP3("translationStrings", "Preview Current Subtitle (^lang^)", "menuPreviewSubByLangText"),
    QT_TRANSLATE_NOOP3("translationStrings", "Preferences", "PreferencesWindowTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Retry in ^secs^s", "RetryInSecsTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Get Subtitles", "GetSubtitlesMenuTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Viewing Sub - (^lang^) ^movfile^", "SubtitlePreviewWindow"),
    QT_TRANSLATE_NOOP3("translationStrings", "Search in web: ", "SearchInWebCMM"),
    QT_TRANSLATE_NOOP3("translationStrings", "Wrong Language", "WrongLanguage"),
    QT_TRANSLATE_NOOP3("translationStrings", "Machine-Translated", "MachineTranslated"),
    QT_TRANSLATE_NOOP3("translationStrings", "Not Synchronized", "NotSyncd"),
    QT_TRANSLATE_NOOP3("translationStrings", "Close Preview", "DontPickThis"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drag\\nSubtitles\\nHere", "DragSubsHere"),
    QT_TRANSLATE_NOOP3("translationStrings", "Drop\\nSubtitles\\nHere", "DragSubsHereDrag"),
    QT_TRANSLATE_NOOP3("translationStrings", "Confirm Selection", "ConfirmSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Select for Download", "SelectSubButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Upload Subtitles", "UploadSubtitlesButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Confirm Sub Info", "ConfirmSubMetadataButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Uploading…", "UploadingSubsButtonTitle"),
    QT_TRANSLATE_NOOP3("translationStrings", "Upload Checked Subs", "UploadCheckedSubtitlesButtonTitle"),
};

const Entry *find(const char *key)
{
    for (const Entry &e : table) {
        if (std::strcmp(e.key, key) == 0)
            return &e;
    }
    return nullptr;
}

const Entry *find(const QString &key)
{
    for (const Entry &e : table) {
        if (key == QLatin1StringView(e.key))
            return &e;
    }
    return nullptr;
}

QString textOf(const char *key, const QString &language)
{
    const Entry *e = find(key);
    Q_ASSERT(e);
    return translate(Context, e->source, e->key, language);
}

// Translators for explicitly named languages, loaded on first request. A
// language without a translation keeps a null entry so it is not looked up
// again. Guarded because worker threads may ask too.
QMutex translatorsMutex;
QHash<QString, std::shared_ptr<const QTranslator>> translators;

std::shared_ptr<const QTranslator> translatorFor(const QString &language)
{
    QMutexLocker lock(&translatorsMutex);
    if (const auto it = translators.constFind(language); it != translators.cend())
        return *it;
    auto translator = std::make_shared<QTranslator>();
    std::shared_ptr<const QTranslator> result;
    if (translator->load(QLocale(language), u"lumbra"_s, u"_"_s, u":/i18n"_s))
        result = std::move(translator);
    translators.insert(language, result);
    return result;
}

std::unique_ptr<QTranslator> installed;

} // namespace

bool installTranslator(const QString &locale)
{
    auto translator = std::make_unique<QTranslator>();
    const QLocale wanted = locale.isEmpty() ? QLocale::system() : QLocale(locale);
    if (!translator->load(wanted, u"lumbra"_s, u"_"_s, u":/i18n"_s))
        return false;
    if (installed)
        QCoreApplication::removeTranslator(installed.get());
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

QString translate(const char *context, const char *source, const char *disambiguation,
                  const QString &language)
{
    if (language.isEmpty())
        return QCoreApplication::translate(context, source, disambiguation);
    if (const auto translator = translatorFor(language)) {
        const QString translated = translator->translate(context, source, disambiguation);
        if (!translated.isEmpty())
            return translated;
    }
    return QString::fromUtf8(source);
}

QString text(const QString &key, const QString &language)
{
    const Entry *e = find(key);
    return e ? translate(Context, e->source, e->key, language) : QString();
}

QString englishDefault(const QString &key)
{
    const Entry *e = find(key);
    return e ? QString::fromUtf8(e->source) : QString();
}

QStringList keys()
{
    QStringList result;
    for (const Entry &e : table)
        result.append(QString::fromLatin1(e.key));
    return result;
}

#define LUMBRA_TEXT(name)                                                                                    \
    QString name(const QString &language)                                                                    \
    {                                                                                                        \
        return textOf(#name, language);                                                                      \
    }

LUMBRA_TEXT(AddLanguageExtension)
LUMBRA_TEXT(AutoDownload)
LUMBRA_TEXT(AutoRetry)
LUMBRA_TEXT(AutoSearch)
LUMBRA_TEXT(CancelButtonTitle)
LUMBRA_TEXT(CheckedMovsLabelPrompt)
LUMBRA_TEXT(ClickHereToCreateNewUser)
LUMBRA_TEXT(CloseMenuItem)
LUMBRA_TEXT(DoneSubsButtonTitle)
LUMBRA_TEXT(DownloadingSubsButtonTitle)
LUMBRA_TEXT(DownloadSubsButtonTitle)
LUMBRA_TEXT(dropMovieFilesLabel)
LUMBRA_TEXT(dropSubFilesLabel)
LUMBRA_TEXT(EditMenuItem)
LUMBRA_TEXT(FileMenuItem)
LUMBRA_TEXT(FindingSubsButtonTitle)
LUMBRA_TEXT(GetSubtitlesWindowTitle)
LUMBRA_TEXT(homeWindowTitle)
LUMBRA_TEXT(languagesSelectedPrompt)
LUMBRA_TEXT(ListAllFilesCheckCaption)
LUMBRA_TEXT(ListAllFilesCheckHelp)
LUMBRA_TEXT(menuOpenMovieWebText)
LUMBRA_TEXT(menuOpenSubWebText)
LUMBRA_TEXT(menuPreviewSubText)
LUMBRA_TEXT(menuRevealFileText)
LUMBRA_TEXT(OptionsMenuItem)
LUMBRA_TEXT(OSPasswordLabel)
LUMBRA_TEXT(OSUsernameLabel)
LUMBRA_TEXT(PutSubtitlesWindowTitle)
LUMBRA_TEXT(ReGetSubs)
LUMBRA_TEXT(RenameSubsAsMovie)
LUMBRA_TEXT(SaveButtonTitle)
LUMBRA_TEXT(SearchSubsButtonTitle)
LUMBRA_TEXT(SelectUpToThreeLanguages)
LUMBRA_TEXT(VerifyingSubs)
LUMBRA_TEXT(VerifySubsButtonTitle)
LUMBRA_TEXT(WindowMenuItem)
LUMBRA_TEXT(SelectSubsButtonTitle)
LUMBRA_TEXT(AutoQuitAfterDownload)
LUMBRA_TEXT(DragVideosHere)
LUMBRA_TEXT(dropMovieFilesLabelDrag)
LUMBRA_TEXT(dropSubFilesLabelDrag)
LUMBRA_TEXT(DragVideosHereDrag)
LUMBRA_TEXT(menuPreviewSubByLangText)
LUMBRA_TEXT(PreferencesWindowTitle)
LUMBRA_TEXT(RetryInSecsTitle)
LUMBRA_TEXT(GetSubtitlesMenuTitle)
LUMBRA_TEXT(SubtitlePreviewWindow)
LUMBRA_TEXT(SearchInWebCMM)
LUMBRA_TEXT(WrongLanguage)
LUMBRA_TEXT(MachineTranslated)
LUMBRA_TEXT(NotSyncd)
LUMBRA_TEXT(DontPickThis)
LUMBRA_TEXT(DragSubsHere)
LUMBRA_TEXT(DragSubsHereDrag)
LUMBRA_TEXT(ConfirmSubsButtonTitle)
LUMBRA_TEXT(SelectSubButtonTitle)
LUMBRA_TEXT(UploadSubtitlesButtonTitle)
LUMBRA_TEXT(ConfirmSubMetadataButtonTitle)
LUMBRA_TEXT(UploadingSubsButtonTitle)
LUMBRA_TEXT(UploadCheckedSubtitlesButtonTitle)

#undef LUMBRA_TEXT

} // namespace translationStrings
