#pragma once
#include "analysis/MeshClustering.h"
#include "scene/DeviationColours.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <vector>

class SessionModel;

// A coarse stand-in for a large mesh, drawn while the user turns, pans or zooms it: built by
// vertex clustering on a worker thread (only the GUI thread touches OpenGL), each vertex
// coloured by the worst deviation of its cell, so out-of-tolerance spots stay visible.
class DecimatedMesh {
public:
  // What the coarse positions depend on.
  struct Key {
    std::uint64_t generation = 0;
    float magnification = 0; // 0 unless the display is magnified
    friend bool operator==(const Key &, const Key &) = default;
  };

  DecimatedMesh() = default;
  // Stops a running build and waits for it.
  ~DecimatedMesh();

  // Starts building a coarse mesh of about targetTriangles for the model unless one for key
  // is built or being built. The model's arrays must stay unchanged until the build ends
  // (cancel() before changing them).
  void request(const SessionModel &model, const Key &key, std::size_t targetTriangles);
  // Takes over a finished build; true when a coarse mesh for key is there to draw.
  bool readyFor(const Key &key);
  // Asks a running build to stop and waits for it.
  void cancel();
  // Waits for a running build to end.
  void wait();

  // Lit triangles from client arrays, deviation colours when colours is set (else the
  // current colour). Uses whatever lighting state is current.
  void draw(const DisplaySettings &settings, bool colours);

  std::size_t triangles() const { return mesh_.triangleCount(); }
  std::size_t bytes() const { return mesh_.bytes() + colours_.capacity() * sizeof(float); }

  DecimatedMesh(const DecimatedMesh &) = delete;
  DecimatedMesh &operator=(const DecimatedMesh &) = delete;

private:
  std::future<CoarseMesh> job_;
  Key jobKey_{};
  std::shared_ptr<std::atomic<bool>> stop_;
  CoarseMesh mesh_;
  Key meshKey_{};
  bool have_ = false;
  std::vector<float> colours_;
  DisplaySettings coloursFor_{};
  bool coloursValid_ = false;
};
