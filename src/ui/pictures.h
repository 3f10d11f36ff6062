// The program's own pictures, drawn in code: the program icon, the about
// box's small picture and the frames of its animated picture.
// User-interface thread only (QPixmap).
#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace ui {

// A receipt sheet with a green stripe: the program icon.
QIcon ProgramIcon();
// `size` × `size` pixels of the program icon's drawing.
QPixmap ReceiptPicture(int size);
// A small printer: the about box's picture.
QPixmap PrinterPicture(int size);
// A receipt with a pencil over it: "Изменить".
QPixmap EditPicture(int size);
// Two receipts, one behind the other: "Скопировать".
QPixmap CopyPicture(int size);
// An icon of a picture drawn at the usual toolbar and menu sizes.
QIcon IconOf(QPixmap (*picture)(int size));
// Six frames of a coin turning about its upright axis.
QList<QPixmap> CoinFrames(int size);

}  // namespace ui
