#include "common/Canvas.h"

#include <cmath>

namespace qm {
namespace {

// dst + (src - dst) * f / 256 on all four channels, two at a time.
inline Argb Mix(Argb dst, Argb src, uint32_t f) {
    const uint32_t g = 256 - f;
    const uint32_t rb = ((dst & 0x00FF00FF) * g + (src & 0x00FF00FF) * f) >> 8;
    const uint32_t ag = ((dst >> 8) & 0x00FF00FF) * g + ((src >> 8) & 0x00FF00FF) * f;
    return (rb & 0x00FF00FF) | (ag & 0xFF00FF00);
}

}  // namespace

void BlendPointAA(Argb* pixels, int width, int height, int stride, double x, double y, Argb color) {
    // Written so that a NaN fails the test too.
    if (!(x > -1.0 && x < width && y > -1.0 && y < height)) return;
    const uint32_t alpha = color >> 24;
    if (alpha == 0) return;
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const uint32_t wx = static_cast<uint32_t>((x - fx) * 256.0);
    const uint32_t wy = static_cast<uint32_t>((y - fy) * 256.0);
    // Area weights (sum 65536) times alpha, as 0..256.
    const uint32_t w[4] = {(256 - wx) * (256 - wy), wx * (256 - wy), (256 - wx) * wy, wx * wy};
    for (int k = 0; k < 4; ++k) {
        const int px = ix + (k & 1), py = iy + (k >> 1);
        if (px < 0 || px >= width || py < 0 || py >= height) continue;
        const uint32_t f = (w[k] * (alpha + 1)) >> 16;
        if (f == 0) continue;
        Argb& p =
            pixels[static_cast<size_t>(py) * static_cast<size_t>(stride) + static_cast<size_t>(px)];
        p = Mix(p, color, f);
    }
}

}  // namespace qm
