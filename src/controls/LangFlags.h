#pragma once

#include <QImage>
#include <QString>

// The flag pictures of the language table: the rest of LangModule lives in the core
// library, which has no pictures.
namespace LangModule {

// The small flag (Images/FlagsSmall, 16 x 12) of a two- or three-letter language code,
// or a null image for an unknown code or a missing picture. Found flags are cached for
// the run; a missing one is looked for again at the next request.
QImage getFlagPic(const QString &code);

// The large, square flag (Images/Flags, 22 x 22), the same way.
QImage getLargeFlagPic(const QString &code);

} // namespace LangModule
