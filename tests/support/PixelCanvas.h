#pragma once
// A canvas that keeps only pixels: anti-aliased points (one at a time or
// straight into the pixels) and fills. Lines and text are left out; enough
// to compare what two ways of drawing the same points leave behind.
#include <vector>

#include "common/Canvas.h"

namespace qm::test {

class PixelCanvas : public Canvas {
  public:
    PixelCanvas(int width, int height, bool direct)
        : width_(width),
          height_(height),
          direct_(direct),
          pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000) {}

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Fill(Argb color) override { pixels.assign(pixels.size(), color); }
    void SetPenColor(Argb) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void MoveToF(double, double) override {}
    void LineToF(double, double) override {}
    void PointAA(double x, double y, Argb color) override {
        BlendPointAA(pixels.data(), width_, height_, width_, x, y, color);
    }
    void TextOut(int, int, const std::string&, Argb) override {}
    Argb* Pixels(int& stride) override {
        stride = width_;
        return direct_ ? pixels.data() : nullptr;
    }

  private:
    int width_, height_;
    bool direct_;

  public:
    std::vector<Argb> pixels;
};

}  // namespace qm::test
