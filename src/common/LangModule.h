#pragma once

#include <QString>
#include <QStringList>

// The 44 subtitle languages Lumbra offers, in three parallel forms: the
// two-letter code used in the preferences and in subtitle file names, the
// three-letter code the subtitle service uses, and a display name. Codes and
// names match without regard to letter case. Unknown input gives empty text.
// Safe to call from any thread.
namespace LangModule {

// The 44 two-letter codes in table order, "ar" first and "zh" last.
QStringList langArray();

// Three-letter code of a two-letter code or a display name (in the current
// interface language). Three-letter input is returned unchanged.
QString getLangThree(const QString &text);

// Two-letter code of a three-letter code or a display name. Two-letter
// input is returned unchanged.
QString getLangTwo(const QString &text);

// Display name, in the current interface language, of a two- or
// three-letter code.
QString getLangFull(const QString &code);

// The display names as one translatable text: a header field, then one name
// per language in table order, separated by "|". `language` names an
// interface language; empty means the current one.
QString languageTable(const QString &language = {});

} // namespace LangModule
