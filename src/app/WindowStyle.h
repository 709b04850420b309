#pragma once
class QMainWindow;

// The look of the main frame and its bars: a light, flat palette with a subtle gradient
// on the tool bar and a framed status bar. Applied once after the frame is created.
void applyWindowStyle(QMainWindow &frame);
// The style sheet text applyWindowStyle sets.
const char *windowStyleSheet();
