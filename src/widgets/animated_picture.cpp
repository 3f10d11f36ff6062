// Plays the frames of an animated picture while it is on screen.
#include "widgets/animated_picture.h"

#include <QPainter>

namespace widgets {

AnimatedPicture::AnimatedPicture(QWidget* parent) : QWidget(parent) {
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, &AnimatedPicture::Advance);
}

void AnimatedPicture::SetFrames(const QList<QPixmap>& frames) {
  frames_ = frames;
  current_ = 0;
  updateGeometry();
  update();
}

void AnimatedPicture::SetFrameInterval(int ms) { timer_.setInterval(ms); }

void AnimatedPicture::Advance() {
  if (frames_.isEmpty()) return;
  current_ = (current_ + 1) % static_cast<int>(frames_.size());
  update();
}

QSize AnimatedPicture::sizeHint() const {
  return frames_.isEmpty() ? QSize(32, 32) : frames_.front().deviceIndependentSize().toSize();
}

void AnimatedPicture::paintEvent(QPaintEvent*) {
  if (frames_.isEmpty()) return;
  QPainter painter(this);
  painter.drawPixmap(0, 0, frames_.at(current_));
}

void AnimatedPicture::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_.start();
}

void AnimatedPicture::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

}  // namespace widgets
