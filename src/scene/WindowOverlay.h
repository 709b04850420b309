#pragma once

// Window-coordinate drawing over the 3D picture: pushes an orthographic projection of
// 0..width x 0..height (depth range near..far) and an identity model-view, and turns depth
// writes off. The end call turns depth writes on, pops both matrices and re-enables
// lighting, as every overlay leaves the state for the next one.
void beginWindowOverlay(int width, int height, double nearZ = 0.0, double farZ = -1.0);
void endWindowOverlay();
// Inside an overlay: the outline of a square of half side `half` around window point (x, y),
// the mark of a picked point.
void drawSquareOutline(double x, double y, double half);
