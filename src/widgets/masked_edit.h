// A one-line edit that shows "*" for every character typed (password entry).
//
// The platform's own password glyph varies; the program's screens show "*".
// The edit owns the small style object that supplies the character.
// User-interface thread only.
#pragma once

#include <QLineEdit>

namespace widgets {

class MaskedEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit MaskedEdit(QWidget* parent = nullptr);
};

}  // namespace widgets
