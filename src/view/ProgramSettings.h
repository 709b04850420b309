#pragma once
#include <string>

// Values that hold for the whole program rather than one view: they are set by the
// settings dialog and the load step and read by banner drawing and the exports.
struct ProgramSettings {
  // Banner leader line colour: 1 white, 2 black, 3 the banner's own colour; other values
  // also leave the banner's own colour.
  static inline int bannerLineColourMode = 0;
  // Digits kept after the decimal point in printed coordinates and deviations.
  static inline int decimalPlaces = 3;
  // 1 = S, 2 = M, 3 = L; read by the banner drawing.
  static inline int pointSizeClass = 1;
};
