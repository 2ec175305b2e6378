#pragma once

#include <QColor>

// The colours the download and upload lists paint their rows in.
namespace ListColours {
inline const QColor Ink(241, 240, 235);     // text and tinted icons
inline const QColor RowLine(215, 215, 207); // the line under a row, and rows without content
inline const QColor SelectedRow(186, 188, 183);
inline const QColor OddRow(158, 160, 155);
inline const QColor EvenRow(170, 172, 166);
} // namespace ListColours
