#include "render/QtCanvas.h"

#include <QFont>
#include <algorithm>
#include <cmath>

#include "smart/Cp1252.h"

namespace qm {

QtCanvas::QtCanvas(int width, int height) {
    Resize(width, height);
}

QtCanvas::~QtCanvas() {
    EndPainting();
}

void QtCanvas::Resize(int width, int height) {
    EndPainting();
    image_ = QImage(std::max(width, 0), std::max(height, 0), QImage::Format_ARGB32);
    pixels_ = nullptr;
}

const QImage& QtCanvas::Image() {
    EndPainting();
    return image_;
}

QPainter& QtCanvas::Painter() {
    if (!painter_) {
        pixels_ = nullptr;
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    return *painter_;
}

void QtCanvas::EndPainting() {
    painter_.reset();
}

void QtCanvas::Fill(Argb color) {
    EndPainting();
    image_.fill(QColor::fromRgba(color));
}

void QtCanvas::MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

void QtCanvas::LineTo(int x, int y) {
    Line(penX_, penY_, x, y, true);
    penX_ = x;
    penY_ = y;
}

void QtCanvas::MoveToF(double x, double y) {
    penX_ = x;
    penY_ = y;
}

void QtCanvas::LineToF(double x, double y) {
    Line(penX_, penY_, x, y, false);
    penX_ = x;
    penY_ = y;
}

void QtCanvas::Line(double x1, double y1, double x2, double y2, bool whole) {
    // Clipped here, a pixel beyond the bitmap: QPainter takes no coordinates
    // of any size, and a far-off end must not cost anything.
    if (!ClipSegment(x1, y1, x2, y2, -1, -1, image_.width() + 1, image_.height() + 1)) return;
    QPainter& p = Painter();
    p.setPen(QPen(QColor::fromRgba(pen_), 0));
    if (whole)
        p.drawLine(QPoint(static_cast<int>(std::lround(x1)), static_cast<int>(std::lround(y1))),
                   QPoint(static_cast<int>(std::lround(x2)), static_cast<int>(std::lround(y2))));
    else
        p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

Argb* QtCanvas::Pixels(int& stride) {
    stride = static_cast<int>(image_.bytesPerLine() / 4);
    if (!pixels_ && !image_.isNull()) {
        EndPainting();
        pixels_ = reinterpret_cast<Argb*>(image_.bits());
    }
    return pixels_;
}

void QtCanvas::PointAA(double x, double y, Argb color) {
    int stride = 0;
    if (Argb* px = Pixels(stride))
        BlendPointAA(px, image_.width(), image_.height(), stride, x, y, color);
}

void QtCanvas::TextOut(int x, int y, const std::string& text, Argb color) {
    if (image_.isNull() || text.empty()) return;
    QPainter& p = Painter();
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor::fromRgba(color));
    // Top-left at (x, y); QPainter clips what falls outside.
    p.drawText(QRect(x, y, 4096, 256), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               QString::fromStdString(Cp1252ToUtf8(text)));
}

bool ClipSegment(double& ax, double& ay, double& bx, double& by, double x0, double y0, double x1,
                 double y1) {
    // Liang-Barsky.
    if (!(std::isfinite(ax) && std::isfinite(ay) && std::isfinite(bx) && std::isfinite(by)))
        return false;
    const double dx = bx - ax, dy = by - ay;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - x0, x1 - ax, ay - y0, y1 - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double sx = ax, sy = ay;
    ax = sx + t0 * dx;
    ay = sy + t0 * dy;
    bx = sx + t1 * dx;
    by = sy + t1 * dy;
    return true;
}

}  // namespace qm
