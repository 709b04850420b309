#pragma once
#include "analysis/ColourScale.h"
#include "io/ExportResult.h"
#include "session/SessionModel.h"

#include <cstddef>
#include <functional>
#include <string>

// Receives the VRML text in large chunks; returns false to stop the writer.
using VrmlSink = ByteSink;

// Writes the model as one VRML 2.0 indexed face set, each vertex coloured by its deviation
// through the scale, followed by a fixed sky background. Points are written as stored (no
// placement); normals and the triangles' fourth integer are not written. Fails, writing
// nothing, when the model's counts do not match its arrays or a triangle names a point that
// does not exist; fails when the sink refuses a chunk.
ExportResult formatVrml(const SessionModel &model, const ColourScale &scale, const VrmlSink &sink);

// The whole text as one string (for small models); empty when the model is refused.
std::string vrmlText(const SessionModel &model, const ColourScale &scale);

// Writes the VRML file through a temporary that replaces `targetPath` only when complete.
ExportResult writeVrmlFile(const std::string &targetPath, const SessionModel &model,
                           const ColourScale &scale);

// The export of a session file: reads `sessionPath` afresh into a model of its own and
// writes it. A point text file is refused (its numbers would be re-read as binary), and a
// session file that cannot be read is a failure with the reader's message.
ExportResult exportVrmlFile(const std::string &targetPath, const std::string &sessionPath,
                            const ColourScale &scale);

// Number texts of the VRML file, public for their tests and benchmarks.
namespace vrmltext {
// Writes v as the general format with 6 significant digits ("%g") writes the value;
// needs 16 bytes of room, returns the end.
char *writeFloat(char *out, float v);
// A colour component cut to two decimals through its six-decimal ("%f") text and parsed
// back: the value that the file holds for it. Truncates (two thirds gives 0.66).
double cutComponent(double c);
// The general-format text of cutComponent(c).
std::string componentText(double c);
} // namespace vrmltext
