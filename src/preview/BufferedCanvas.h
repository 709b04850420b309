#pragma once
#include <QImage>
#include <QRect>

#include <memory>

class QPainter;

// Flicker-free drawing: on screen, everything is drawn into an off-screen image of the
// drawing rectangle, which is copied to the target in one piece when the object goes out
// of scope; on a printer the target is drawn on directly. Either way the rectangle starts
// filled with the background colour.
class BufferedCanvas {
public:
  // target must outlive this object; rect is in the target's logical coordinates.
  BufferedCanvas(QPainter &target, const QRect &rect, const QColor &background);
  ~BufferedCanvas();

  // The painter to draw with, in the target's logical coordinates.
  QPainter &painter() { return *active_; }
  bool drawsToMemory() const { return memory_; }

  BufferedCanvas(const BufferedCanvas &) = delete;
  BufferedCanvas &operator=(const BufferedCanvas &) = delete;

private:
  QPainter &target_;
  QRect rect_;
  bool memory_;
  QImage buffer_;
  std::unique_ptr<QPainter> own_;
  QPainter *active_;
};
