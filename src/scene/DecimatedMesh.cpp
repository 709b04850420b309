#include "scene/DecimatedMesh.h"

#include "analysis/DeviationAnchors.h"
#include "scene/GLArrayStore.h"
#include "session/SessionModel.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <new>

DecimatedMesh::~DecimatedMesh() { cancel(); }

void DecimatedMesh::request(const SessionModel &m, const Key &key, std::size_t targetTriangles) {
  if ((have_ && meshKey_ == key) || (job_.valid() && jobKey_ == key))
    return;
  cancel();
  if (have_ && !(meshKey_ == key)) {
    // The old stand-in shows the old geometry: drop it rather than show it.
    mesh_ = {};
    colours_ = {};
    have_ = false;
  }
  ClusterInput in;
  in.pointCount = drawablePoints(m);
  in.points = m.points.data();
  if (m.normals.present() && m.normals.size() >= in.pointCount)
    in.normals = m.normals.data();
  if (m.deviationMode > 0 && m.deviations.size() >= in.pointCount)
    in.deviations = m.deviations.data();
  in.triangles = m.triangles.data();
  in.triangleCount = drawableTriangles(m);
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  if (key.magnification > 0 && anchors.present()) {
    const Vec3f *points = in.points;
    in.drawnPosition = [anchors, points, mag = key.magnification](std::size_t i) {
      return anchors.meshVertex(points[i], i, mag);
    };
  }
  stop_ = std::make_shared<std::atomic<bool>>(false);
  in.cancel = stop_.get();
  jobKey_ = key;
  // The worker reads the model's arrays only; the result is handed over on the GUI thread.
  job_ = std::async(std::launch::async, [in, stop = stop_, targetTriangles] {
    try {
      return decimateMesh(in, targetTriangles);
    } catch (const std::bad_alloc &) {
      // Without memory for the stand-in, dragging shows the thinned points instead.
      return CoarseMesh{};
    }
  });
}

bool DecimatedMesh::readyFor(const Key &key) {
  if (job_.valid() && job_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    CoarseMesh built = job_.get();
    if (!(stop_ && stop_->load())) {
      mesh_ = std::move(built);
      meshKey_ = jobKey_;
      have_ = true;
      coloursValid_ = false;
    }
    stop_.reset();
  }
  return have_ && meshKey_ == key && mesh_.triangleCount() > 0;
}

void DecimatedMesh::cancel() {
  if (stop_)
    stop_->store(true);
  if (job_.valid())
    job_.get();
  stop_.reset();
}

void DecimatedMesh::wait() {
  if (job_.valid())
    job_.wait();
}

void DecimatedMesh::draw(const DisplaySettings &settings, bool colours) {
  if (!have_ || mesh_.triangleCount() == 0)
    return;
  if (colours && (!coloursValid_ || !(coloursFor_ == settings))) {
    const ColourScale scale = modelScale(settings);
    colours_.resize(3 * mesh_.vertexCount());
    for (std::size_t v = 0; v < mesh_.vertexCount(); ++v)
      colourInto(&colours_[3 * v], scale, mesh_.deviations[v]);
    coloursFor_ = settings;
    coloursValid_ = true;
  }
  BufferBindingGuard bindings;
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, mesh_.positions.data());
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, 0, mesh_.normals.data());
  if (colours) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, colours_.data());
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
  }
  glDrawRangeElements(GL_TRIANGLES, 0, GLuint(mesh_.vertexCount() - 1),
                      GLsizei(mesh_.indices.size()), GL_UNSIGNED_INT, mesh_.indices.data());
  glPopClientAttrib();
}
