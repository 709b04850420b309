#include "preview/BufferedCanvas.h"

#include <QPaintDevice>
#include <QPainter>

#include <cmath>

BufferedCanvas::BufferedCanvas(QPainter &target, const QRect &rect, const QColor &background)
    : target_(target), rect_(rect), active_(&target) {
  const QPaintDevice *device = target.device();
  memory_ = device && device->devType() != QInternal::Printer && !rect.isEmpty();
  if (memory_) {
    // Device pixels on high-density screens, so the copy is not scaled up blurred.
    const qreal ratio = device->devicePixelRatioF();
    buffer_ = QImage(rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    buffer_.setDevicePixelRatio(ratio);
    // The buffer claims the target's resolution so that physical sizes come out the same.
    buffer_.setDotsPerMeterX(static_cast<int>(std::lround(device->logicalDpiX() / 0.0254)));
    buffer_.setDotsPerMeterY(static_cast<int>(std::lround(device->logicalDpiY() / 0.0254)));
    buffer_.fill(background);
    own_ = std::make_unique<QPainter>(&buffer_);
    own_->setRenderHints(target.renderHints());
    own_->translate(-rect.topLeft());
    active_ = own_.get();
  } else {
    target.fillRect(rect, background);
  }
}

BufferedCanvas::~BufferedCanvas() {
  if (memory_) {
    own_->end();
    target_.drawImage(rect_.topLeft(), buffer_);
  }
}
