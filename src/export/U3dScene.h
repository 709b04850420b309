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

  // Empty when the arrays agree with each other, otherwise what is wrong.
  std::string inconsistency() const;
};

// The blocks of the fixed exported scene (camera, light, model node with its modifiers,
// model resource, view and light resources, material, shader, texture, motion) around the
// given mesh, in file order without the header. The mesh must be consistent.
std::vector<U3dBlock> buildU3dSceneBlocks(const U3dMesh &mesh);

// The model node's matrix relative to the world (column order): where the mesh's own
// coordinates land in the scene, and so where a viewer of the file must look.
const std::array<float, 16> &u3dModelNodeMatrix();

// RGB pixels of the scene's 32 x 32 texture, rows from the top: a two-by-two checker
// of white and red 16-pixel squares, white at the top left.
std::vector<std::uint8_t> u3dCheckerPixels();
