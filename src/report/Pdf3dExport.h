#pragma once
#include "io/ExportResult.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <string>

class ColourScale;
class SessionModel;

// Draws the view at exactly the given size in pixels (what the window would show at that
// size); a null image with error set when it cannot.
using ViewPicture = std::function<QImage(QSize size, std::string &error)>;

// Size in pixels of the poster a 3D PDF shows where 3D content is not shown.
QSize pdf3dPosterSize();

// Writes an interactive 3D PDF of the model: one A4 landscape page (PDF 1.7) holding a 3D
// annotation whose 3D stream is exactly the U3D file the U3D export writes for the same
// model and scale, with a default view fitted to the model, activated when the page opens;
// its appearance (what printers and readers without 3D show) is the view's picture, drawn
// by picture at pdf3dPosterSize(). Below it: the scale's legend and a line telling how to
// see the model in 3D.
//
// The U3D scene is built on a second thread while picture runs on the calling thread (which
// holds the GL context). Refused like every export: a point text file, a target that does
// not end in ".pdf", a target that is the model's own file. The target is replaced only by
// a complete file; a failure names the file and the reason.
ExportResult export3dPdf(const std::string &target, const SessionModel &model,
                         const ColourScale &scale, const ViewPicture &picture);
