#pragma once
#include "analysis/ColourScale.h"
#include "export/ExportResult.h"

#include <string>

// Writes the session file at sessionPath as the fixed U3D scene (camera, light, model with
// the measured mesh coloured by the scale, shader, texture, motion) to targetPath.
// The target is replaced only when the file is completely written.
ExportResult exportU3dFile(const std::string &targetPath, const std::string &sessionPath,
                           const ColourScale &scale);
