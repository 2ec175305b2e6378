<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>LangModule</name>
    <message>
        <source>DEFAULT|Arabic|Bulgarian|Catalan / Valencian|Czech|Danish|German|Greek|English|Spanish|Estonian|Basque|Persian|Finnish|French|Galician|Hebrew|Hindi|Croatian|Hungarian|Indonesian|Icelandic|Italian|Japanese|Georgian|Korean|Macedonian|Malay|Dutch|Norwegian|Occitan/Provençal|Portuguese (Brazil)|Polish|Portuguese|Romanian|Russian|Slovak|Slovenian|Albanian|Serbian|Swedish|Turkish|Ukrainian|Vietnamese|Chinese</source>
        <comment>languageTable</comment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>translationStrings</name>
    <message>
        <source>Add Language to Sub Name</source>
        <comment>AddLanguageExtension</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatically Download Subs after search</source>
        <comment>AutoDownload</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry Automatically</source>
        <comment>AutoRetry</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search Automatically on Drop/Select</source>
        <comment>AutoSearch</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <comment>CancelButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>^checkedrows marked (^totalrows in list)</source>
        <comment>CheckedMovsLabelPrompt</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click Here to Create New User</source>
        <comment>ClickHereToCreateNewUser</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <comment>CloseMenuItem</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <comment>DoneSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading…</source>
        <comment>DownloadingSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Checked</source>
        <comment>DownloadSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag movies\nhere</source>
        <comment>dropMovieFilesLabel</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag subtitles\nhere</source>
        <comment>dropSubFilesLabel</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit</source>
        <comment>EditMenuItem</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <comment>FileMenuItem</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finding Subtitles…</source>
        <comment>FindingSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get Subtitles</source>
        <comment>GetSubtitlesWindowTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Home Window</source>
        <comment>homeWindowTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>languages selected (max. 3)</source>
        <comment>languagesSelectedPrompt</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include all Files in List</source>
        <comment>ListAllFilesCheckCaption</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking this option will make all files selected/dropped to be included in the search list initially (checkbox will be checked intelligently). Unchecking this list will make the list include only relevant files.</source>
        <comment>ListAllFilesCheckHelp</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Movie Web Page</source>
        <comment>menuOpenMovieWebText</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Subtitle Web Page</source>
        <comment>menuOpenSubWebText</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview Subtitle over Video</source>
        <comment>menuPreviewSubText</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reveal video file</source>
        <comment>menuRevealFileText</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences</source>
        <comment>OptionsMenuItem</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <comment>OSPasswordLabel</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User name</source>
        <comment>OSUsernameLabel</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload Subtitles</source>
        <comment>PutSubtitlesWindowTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find Better Subs</source>
        <comment>ReGetSubs</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name Subtitle as Movie File</source>
        <comment>RenameSubsAsMovie</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <comment>SaveButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search Subtitles</source>
        <comment>SearchSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Up to Three Languages</source>
        <comment>SelectUpToThreeLanguages</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verifying Subtitles</source>
        <comment>VerifyingSubs</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verify Subtitles</source>
        <comment>VerifySubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Window</source>
        <comment>WindowMenuItem</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Selected</source>
        <comment>SelectSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit After Downloads Are Completed</source>
        <comment>AutoQuitAfterDownload</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag\nVideos\nHere</source>
        <comment>DragVideosHere</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop movies\nhere</source>
        <comment>dropMovieFilesLabelDrag</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop subtitles\nhere</source>
        <comment>dropSubFilesLabelDrag</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop\nVideos\nHere</source>
        <comment>DragVideosHereDrag</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview Current Subtitle (^lang^)</source>
        <comment>menuPreviewSubByLangText</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences</source>
        <comment>PreferencesWindowTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry in ^secs^s</source>
        <comment>RetryInSecsTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get Subtitles</source>
        <comment>GetSubtitlesMenuTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Viewing Sub - (^lang^) ^movfile^</source>
        <comment>SubtitlePreviewWindow</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search in web: </source>
        <comment>SearchInWebCMM</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong Language</source>
        <comment>WrongLanguage</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Machine-Translated</source>
        <comment>MachineTranslated</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not Synchronized</source>
        <comment>NotSyncd</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close Preview</source>
        <comment>DontPickThis</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag\nSubtitles\nHere</source>
        <comment>DragSubsHere</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop\nSubtitles\nHere</source>
        <comment>DragSubsHereDrag</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm Selection</source>
        <comment>ConfirmSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select for Download</source>
        <comment>SelectSubButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload Subtitles</source>
        <comment>UploadSubtitlesButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm Sub Info</source>
        <comment>ConfirmSubMetadataButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading…</source>
        <comment>UploadingSubsButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload Checked Subs</source>
        <comment>UploadCheckedSubtitlesButtonTitle</comment>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
