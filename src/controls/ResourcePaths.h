#pragma once

#include <QString>

// Where the application finds the files it ships: pictures under Images/, fonts under Fonts/.
//
// In the build tree they sit beside the `lumbra` executable; installed, they live in
// <prefix>/share/lumbra while the executable is in <prefix>/bin. Programs that sit
// elsewhere in the build tree (tests, benchmarks) fall back to the build tree's copy.
namespace ResourcePaths {

// The resources folder: the one that holds Images/ (theme pictures and flags).
QString rsrcsF();

// The folder that holds Fonts/ (the player's subtitle font, Font Awesome).
QString fontsF();

// The folder of the running executable (where helper programs are looked for).
QString appF();

// Points both folders at `folder` instead of the found one; an empty text goes back to
// finding them. Meant for tests.
void setResourceRoot(const QString &folder);

// The player's subtitle font file: fontsF/Fonts/SourceSansPro/SourceSansPro-Regular.ttf.
QString subtitleFontPath();

// Makes the shipped fonts (Font Awesome for the player's buttons) known to the application.
// Call once after the QGuiApplication exists; returns false when a font could not be loaded.
bool registerBundledFonts();

} // namespace ResourcePaths
