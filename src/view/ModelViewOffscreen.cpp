#include "view/ModelView.h"

#include "view/ViewScene.h"

#include <GL/gl.h>
#include <QImage>
#include <QOpenGLFramebufferObject>

QImage ModelView::drawOffscreen(QSize size, std::string &error) {
  if (!contextUsable_ || !context()) {
    error = "the view has no drawing context";
    return {};
  }
  makeCurrent();
  QOpenGLFramebufferObjectFormat format;
  format.setAttachment(QOpenGLFramebufferObject::Depth);
  QOpenGLFramebufferObject target(size, format);
  if (!target.isValid() || !target.bind()) {
    doneCurrent();
    error = "no offscreen framebuffer of " + std::to_string(size.width()) + " x " +
            std::to_string(size.height()) + " pixels";
    return {};
  }
  // The frame is laid out for the target's size (legend, scale and panels keep to its right
  // and bottom edges); the same camera, and a full frame, not the thinned one of a drag.
  const int width = viewWidth, height = viewHeight;
  const double pannedX = panX, pannedY = panY;
  const bool wasInteracting = interacting, wasLive = liveWindow;
  // The pan is kept in pixels: scaled with the height, the model stays where it is shown.
  const double scale = height > 0 ? double(size.height()) / double(height) : 1.0;
  panX *= scale;
  panY *= scale;
  viewWidth = size.width();
  viewHeight = size.height();
  interacting = false;
  liveWindow = false; // the whole model, not the stand-in of an upload still running
  scene_->draw(*this);
  glFinish();
  QImage image = target.toImage(); // rows top-down, as the window shows them
  viewWidth = width;
  viewHeight = height;
  panX = pannedX;
  panY = pannedY;
  interacting = wasInteracting;
  liveWindow = wasLive;
  target.release();
  doneCurrent();
  if (image.isNull())
    error = "the offscreen picture could not be read";
  // The window's next frame sets its own viewport again.
  update();
  return image.convertToFormat(QImage::Format_RGB32);
}
