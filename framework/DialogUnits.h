#pragma once
// Conversion of dialog units to pixels. One horizontal unit is a quarter of
// the dialog font's average character width, one vertical unit an eighth of
// its height, so a template keeps its proportions with any font.
#include "framework/DialogTemplate.h"

namespace fw {

struct BaseUnits {
  int averageCharWidth = 0;  // pixels
  int charHeight = 0;        // pixels
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// a * b / c rounded half away from zero, with a 64-bit intermediate.
int MulDiv(int a, int b, int c);

// The average width from the pixel extent of the 52 letters "A".."Z",
// "a".."z" written in one run, rounded to the nearest pixel.
int AverageCharWidthFromExtent(int extentOf52Letters);

int DialogUnitsToPixelsX(int dlu, const BaseUnits& units);
int DialogUnitsToPixelsY(int dlu, const BaseUnits& units);
// Each of x, y, width and height is converted on its own, as the dialog
// manager does when it creates the controls of a template.
PixelRect DialogRectToPixels(const DialogRect& rect, const BaseUnits& units);

// The run of letters whose extent gives the average character width.
inline constexpr const char* kAverageWidthLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace fw
