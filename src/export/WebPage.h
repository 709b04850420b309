#pragma once
#include "export/GltfWriter.h"

// Writes one self-contained HTML page: the viewer's script and style inline and the model as
// the base64 text of its glTF binary (reduced above scene.maxTriangles, the default budget
// when 0), so the page opens from a file with no network. Atomic like every export.
ExportResult writeWebPage(const std::string &target, const SessionModel &model,
                          const ColourScale &scale, ShareScene scene);
