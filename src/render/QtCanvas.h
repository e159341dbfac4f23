#pragma once
// The Canvas on a QImage (32-bit ARGB): lines and text through QPainter,
// anti-aliased points written straight into the pixels.
#include <QImage>
#include <QPainter>
#include <memory>

#include "common/Canvas.h"

namespace qm {

class QtCanvas : public Canvas {
  public:
    explicit QtCanvas(int width = 0, int height = 0);
    ~QtCanvas() override;

    // A new size; the picture is lost (the pixels are undefined until the next Fill).
    void Resize(int width, int height);
    // The picture as it is now.
    const QImage& Image();

    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void Fill(Argb color) override;
    void SetPenColor(Argb color) override { pen_ = color; }
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void MoveToF(double x, double y) override;
    void LineToF(double x, double y) override;
    void PointAA(double x, double y, Argb color) override;
    Argb* Pixels(int& stride) override;
    void TextOut(int x, int y, const std::string& text, Argb color) override;

  private:
    QPainter& Painter();
    void EndPainting();
    void Line(double x1, double y1, double x2, double y2, bool whole);

    QImage image_;
    std::unique_ptr<QPainter> painter_;
    Argb* pixels_ = nullptr;  // while no painter is active
    Argb pen_ = 0xFF000000;
    double penX_ = 0, penY_ = 0;
};

// Clips the segment to the rectangle [x0, x1] x [y0, y1]; false when nothing
// of it is inside (or a coordinate is not a number).
bool ClipSegment(double& ax, double& ay, double& bx, double& by, double x0, double y0, double x1,
                 double y1);

}  // namespace qm
