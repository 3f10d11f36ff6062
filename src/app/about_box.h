// The about box AboutBox ("О программе...").
//
// Top: the program icon, a small picture, an animated picture (six frames,
// 166 ms each, playing only while the box is shown) and "ОК", which is both
// the default and the cancel button.  Below, centred: what the program is,
// the version, and the maker's contact lines in bold.  Nothing else reacts to
// the user.
//
// Created once at start-up, shown modally centred on the screen; it owns its
// controls.  User-interface thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "widgets/animated_picture.h"

namespace app {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);

  static constexpr int kFrameInterval = 166;  // milliseconds per frame

  widgets::AnimatedPicture* animation;
  QLabel* VersionLabel;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace app
