#pragma once
#include "analysis/ColourScale.h"
#include "export/ExportResult.h"

#include <string>

class SessionModel;

// The kind of export a target path asks for, by its suffix in any case.
enum class ExportKind { Vrml, U3d, Unknown };
ExportKind exportKindFor(const std::string &targetPath);

// Exports a model already in memory (the one a window shows, as loaded) to target: ".wrl"
// writes VRML, ".u3d" the U3D scene (suffixes in any case). The file is never read again. A
// model read from a point text file, a target with another suffix and a target that is the
// model's own file (model.path) are refused with a message; the target is replaced only by a
// complete file.
ExportResult exportModelFile(const std::string &target, const SessionModel &model,
                             const ColourScale &scale);

// Exports the session file at sessionPath to target: ".wrl" writes VRML, ".u3d" the U3D
// scene (suffixes in any case). Point text files and other suffixes are refused with a
// message; the target is replaced only by a complete file.
ExportResult exportSessionFile(const std::string &target, const std::string &sessionPath,
                               const ColourScale &scale);
