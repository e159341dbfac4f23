#pragma once
// A canvas that keeps every call, so tests can assert what was drawn and
// where.
#include <string>
#include <vector>

#include "common/Canvas.h"

namespace qm::test {

struct CanvasOp {
    enum Kind { Fill, Pen, Move, Line, MoveF, LineF, Point, Text } kind = Fill;
    double x = 0, y = 0;
    Argb color = 0;
    std::string text;
    bool operator==(const CanvasOp&) const = default;
};

class RecordingCanvas : public Canvas {
  public:
    RecordingCanvas(int width = 800, int height = 600) : width_(width), height_(height) {}

    std::vector<CanvasOp> ops;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Fill(Argb color) override { ops.push_back({CanvasOp::Fill, 0, 0, color, {}}); }
    void SetPenColor(Argb color) override {
        pen_ = color;
        ops.push_back({CanvasOp::Pen, 0, 0, color, {}});
    }
    void MoveTo(int x, int y) override {
        ops.push_back({CanvasOp::Move, 1.0 * x, 1.0 * y, pen_, {}});
    }
    void LineTo(int x, int y) override {
        ops.push_back({CanvasOp::Line, 1.0 * x, 1.0 * y, pen_, {}});
    }
    void MoveToF(double x, double y) override { ops.push_back({CanvasOp::MoveF, x, y, pen_, {}}); }
    void LineToF(double x, double y) override { ops.push_back({CanvasOp::LineF, x, y, pen_, {}}); }
    void PointAA(double x, double y, Argb color) override {
        ops.push_back({CanvasOp::Point, x, y, color, {}});
    }
    void TextOut(int x, int y, const std::string& text, Argb color) override {
        ops.push_back({CanvasOp::Text, 1.0 * x, 1.0 * y, color, text});
    }

    std::vector<CanvasOp> Of(CanvasOp::Kind kind) const {
        std::vector<CanvasOp> out;
        for (const CanvasOp& op : ops)
            if (op.kind == kind) out.push_back(op);
        return out;
    }
    size_t Count(CanvasOp::Kind kind, Argb color) const {
        size_t n = 0;
        for (const CanvasOp& op : ops) n += op.kind == kind && op.color == color;
        return n;
    }

  private:
    int width_, height_;
    Argb pen_ = 0xFF000000;
};

}  // namespace qm::test
