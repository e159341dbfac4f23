#pragma once
// The drawing surface the pictures are computed against (defect map, servo
// plot and its grid): a 32-bit ARGB bitmap with a pen. The same drawing code
// runs on screen, into a file and into a recording for tests.
//
// Every primitive clips to the bitmap: coordinates far outside it (negative,
// huge, not a number) draw nothing there and never touch memory outside the
// pixels.
#include <cstdint>
#include <string>

namespace qm {

using Argb = uint32_t;  // 0xAARRGGBB

class Canvas {
  public:
    virtual ~Canvas() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;

    // Every pixel becomes the colour.
    virtual void Fill(Argb color) = 0;
    // The colour of the lines drawn from now on.
    virtual void SetPenColor(Argb color) = 0;
    // Pen moves and lines in whole pixels; a line ends at the new pen position.
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    // The same in sub-pixel coordinates (no anti-aliasing).
    virtual void MoveToF(double x, double y) = 0;
    virtual void LineToF(double x, double y) = 0;
    // A sub-pixel, anti-aliased point: the colour is spread over the (up to)
    // four pixels the point covers, by area, and blended over what is there.
    virtual void PointAA(double x, double y, Argb color) = 0;
    // Text (code page 1252) with its top-left corner at (x, y), no anti-aliasing.
    virtual void TextOut(int x, int y, const std::string& text, Argb color) = 0;
};

// Blends a sub-pixel point into a raw ARGB buffer (rows of `stride` pixels),
// as Canvas::PointAA does. Points outside the w x h area leave it untouched.
void BlendPointAA(Argb* pixels, int width, int height, int stride, double x, double y, Argb color);

}  // namespace qm
