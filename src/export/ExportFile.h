#pragma once
#include "analysis/ColourScale.h"
#include "export/GltfWriter.h"
#include "io/ExportResult.h"

#include <string>

class SessionModel;

// The kind of export a target path asks for, by its suffix in any case: ".wrl", ".u3d",
// ".pdf" (a page holding the U3D scene as an interactive 3D annotation), ".glb" (glTF binary),
// ".html" (a self-contained web page).
enum class ExportKind { Vrml, U3d, Pdf3d, Gltf, WebPage, Unknown };
ExportKind exportKindFor(const std::string &targetPath);
// Whether the file name in path ends in suffix (lower case, with its dot) in any case and has
// more than the suffix: a bare ".wrl" is a hidden file's name, not a name with a suffix.
bool hasSuffixNoCase(const std::string &path, const char *suffix);

// Exports a model already in memory (the one a window shows, as loaded) to target: ".wrl"
// writes VRML, ".u3d" the U3D scene (suffixes in any case). A 3D PDF needs a picture of the
// view and is written by the report library (export3dPdf); it is refused here. The file is never
// read again. A model read from a point text file, a target with another suffix and a target that
// is the model's own file (model.path) are refused with a message; the target is replaced only by a
// complete file.
// ".glb" and ".html" also carry what scene holds (title, callouts, points, triangle budget).
ExportResult exportModelFile(const std::string &target, const SessionModel &model,
                             const ColourScale &scale, const ShareScene &scene = {});

// Exports the session file at sessionPath to target: ".wrl" writes VRML, ".u3d" the U3D
// scene (suffixes in any case). Point text files and other suffixes (".pdf" included, see
// above) are refused with a message; the target is replaced only by a complete file.
// Everything that refuses an export before any model is read or written: a point text file
// (except for .glb and .html),
// an unknown suffix, a target that is the input. Empty when the export may go ahead.
std::string exportRefusal(const std::string &target, const std::string &inputPath);

// "TARGET: the model has no points" for a model without points (nothing to export or
// report), else empty.
std::string emptyModelProblem(const std::string &target, const SessionModel &model);

ExportResult exportSessionFile(const std::string &target, const std::string &sessionPath,
                               const ColourScale &scale, const ShareScene &scene = {});
