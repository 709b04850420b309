#pragma once
#include "analysis/ColourScale.h"
#include "io/ExportResult.h"

#include <memory>
#include <string>

class SessionModel;
class U3dFileLayout;
struct U3dMesh;
class U3dMeshSource;

// Writes the session file at sessionPath as the fixed U3D scene (camera, light, model with
// the measured mesh coloured by the scale, shader, texture, motion) to targetPath.
// The target is replaced only when the file is completely written.
ExportResult exportU3dFile(const std::string &targetPath, const std::string &sessionPath,
                           const ColourScale &scale);

// Same as exportU3dFile: 1 when the file was completely written, otherwise 0.
int ExportU3d(const std::string &targetPath, const std::string &sessionPath,
              const ColourScale &scale);

// Builds the scene around the model's mesh and writes it to targetPath (replaced only
// when complete). The model is not changed; missing triangle normals are computed on the way.
ExportResult ExportU3dScene(const std::string &targetPath, const SessionModel &model,
                            const ColourScale &scale);

// The U3D file of the model's scene: exactly the bytes ExportU3dScene writes, all but the
// measured mesh built in memory, the mesh encoded from the model as it is written. layout is set
// when result is ok. The diagnostic listing belongs to the U3D export itself; a file that only
// carries the scene (the 3D PDF) leaves it out. The layout reads the model's mesh through mesh
// while it is written, so the model must outlive it.
struct U3dSceneFile {
  U3dSceneFile();
  U3dSceneFile(U3dSceneFile &&) noexcept;
  ~U3dSceneFile();

  ExportResult result;
  std::unique_ptr<U3dMeshSource> mesh;
  std::unique_ptr<U3dFileLayout> layout;
};
enum class U3dListing { Write, Skip };
U3dSceneFile buildU3dSceneFile(const SessionModel &model, const ColourScale &scale,
                               U3dListing listing = U3dListing::Write);

// Fills mesh from the model: positions, flat normals, the scale's colour per point,
// faces; and writes the diagnostic listing of the mesh (skipped silently when it cannot
// be written). Fails when there is no mesh to fill or a triangle refers to a missing point.
ExportResult FillAuthorMesh(U3dMesh *mesh, const SessionModel &model, const ColourScale &scale);

// Where the diagnostic listing goes: $XDG_CACHE_HOME/VelmoraViewer/result.txt, else
// $HOME/.cache/VelmoraViewer/result.txt; empty when neither variable is set.
std::string u3dListingPath();
