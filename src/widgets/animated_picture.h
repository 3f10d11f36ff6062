// A picture that plays a fixed sequence of frames in a loop.
//
// The widget owns copies of its frames.  It plays only while it is shown: the
// timer starts when the widget becomes visible and stops when it is hidden, so
// a window created once and shown now and then spends nothing while hidden.
// User-interface thread only.
#pragma once

#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace widgets {

class AnimatedPicture : public QWidget {
  Q_OBJECT

 public:
  explicit AnimatedPicture(QWidget* parent = nullptr);

  // Replaces the frames and goes back to the first; the widget's size hint
  // becomes the first frame's size.
  void SetFrames(const QList<QPixmap>& frames);
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  // Index of the frame on show; 0 when there are no frames.
  int CurrentFrame() const { return current_; }

  // Milliseconds each frame stays on show.  REQUIRES: ms > 0.
  void SetFrameInterval(int ms);
  int FrameInterval() const { return timer_.interval(); }
  // True while the timer plays the frames.
  bool IsPlaying() const { return timer_.isActive(); }

  // Shows the next frame, the first after the last.
  void Advance();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QList<QPixmap> frames_;
  int current_ = 0;
  QTimer timer_;
};

}  // namespace widgets
