// The program's own pictures, drawn in code: the program icon, the about
// box's small picture and the frames of its animated picture.
// User-interface thread only (QPixmap).
#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace app {

// A receipt sheet with a green stripe: the program icon.
QIcon ProgramIcon();
// `size` × `size` pixels of the program icon's drawing.
QPixmap ReceiptPicture(int size);
// A small printer: the about box's picture.
QPixmap PrinterPicture(int size);
// Six frames of a coin turning about its upright axis.
QList<QPixmap> CoinFrames(int size);

}  // namespace app
