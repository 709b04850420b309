#pragma once
#include "export/U3dFile.h"
#include "geometry/Vec3f.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The measured mesh as the exported model resource holds it: one position and one
// RGBA colour per point, three flat normals per face (normal 3j + k for corner k of
// face j), faces as position indices (colours share them).
struct U3dMesh {
  std::vector<Vec3f> positions;
  std::vector<std::array<float, 4>> colours;
  std::vector<Vec3f> normals;
  std::vector<std::array<std::uint32_t, 3>> faces;
};

// The measured mesh read piece by piece where it lives (the model), so that the export never
// holds a copy of it: ranges [first, first + n) of points or faces into out.
class U3dMeshSource {
public:
  virtual ~U3dMeshSource() = default;
  virtual std::size_t pointCount() const = 0;
  virtual std::size_t faceCount() const = 0;
  virtual void positions(std::size_t first, std::size_t n, Vec3f *out) const = 0;
  virtual void colours(std::size_t first, std::size_t n, std::array<float, 4> *out) const = 0;
  virtual void faces(std::size_t first, std::size_t n, std::array<std::uint32_t, 3> *out) const = 0;
  // The three corner normals of each face: 3 n values.
  virtual void cornerNormals(std::size_t first, std::size_t n, Vec3f *out) const = 0;
};

// The blocks of the fixed exported scene (camera, light, model node with its modifiers,
// model resource, view and light resources, material, shader, texture, motion) around the
// given mesh, in file order without the header. The mesh must be consistent.
std::vector<U3dBlock> buildU3dSceneBlocks(const U3dMesh &mesh);
// The same blocks, the base mesh streamed: its faces are encoded once, to find the block's
// size, into an anonymous temporary that writing copies after the plain values (encoded
// again only when no temporary could be made). The source must outlive the blocks and hold
// at most 2^32 - 1 points and corner normals.
std::vector<U3dBlock> buildU3dSceneBlocks(const U3dMeshSource &mesh);

// The model node's matrix relative to the world (column order): where the mesh's own
// coordinates land in the scene, and so where a viewer of the file must look.
const std::array<float, 16> &u3dModelNodeMatrix();

// RGB pixels of the scene's 32 x 32 texture, rows from the top: a two-by-two checker
// of white and red 16-pixel squares, white at the top left.
std::vector<std::uint8_t> u3dCheckerPixels();
