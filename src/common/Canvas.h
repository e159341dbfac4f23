#pragma once
// The drawing surface the pictures are computed against (defect map, servo
// plot and its grid): a 32-bit ARGB bitmap with a pen. The same drawing code
// runs on screen, into a file and into a recording for tests.
//
// Every primitive clips to the bitmap: coordinates far outside it (negative,
// huge, not a number) draw nothing there and never touch memory outside the
// pixels.
#include <cstddef>
#include <cstdint>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // The pixels themselves (rows of `stride` pixels), for drawing code that
    // sets many anti-aliased points with BlendPointAA exactly as PointAA
    // would; null when the canvas keeps no pixels. Valid until the next call
    // of any other primitive.
    virtual Argb* Pixels(int& stride) {
        stride = 0;
        return nullptr;
    }
    // Text (code page 1252) with its top-left corner at (x, y), no anti-aliasing.
    virtual void TextOut(int x, int y, const std::string& text, Argb color) = 0;
};

// Blends a sub-pixel point into a raw ARGB buffer (rows of `stride` pixels),
// as Canvas::PointAA does: the colour spread over the four pixels by area
// (1/256 steps), each blended by its share times the colour's alpha. Points
// outside the w x h area leave it untouched.
inline void BlendPointAA(Argb* pixels, int width, int height, int stride, double x, double y,
                         Argb color) {
    // Written so that a NaN fails the test too.
    if (!(x > -1.0 && x < width && y > -1.0 && y < height)) return;
    const uint32_t alpha = color >> 24;
    if (alpha == 0) return;
    // Fixed point with 8 fraction bits, shifted by one pixel to stay positive.
    const int xi = static_cast<int>((x + 1.0) * 256.0), yi = static_cast<int>((y + 1.0) * 256.0);
    const int ix = (xi >> 8) - 1, iy = (yi >> 8) - 1;
    const uint32_t wx = static_cast<uint32_t>(xi) & 255, wy = static_cast<uint32_t>(yi) & 255;
    const uint32_t a = alpha + 1;
    // dst + (src - dst) * f / 256 on all four channels, two at a time.
    auto mix = [color](Argb& p, uint32_t f) {
        const uint32_t g = 256 - f;
        const uint32_t rb = ((p & 0x00FF00FF) * g + (color & 0x00FF00FF) * f) >> 8;
        const uint32_t ag = ((p >> 8) & 0x00FF00FF) * g + ((color >> 8) & 0x00FF00FF) * f;
        p = (rb & 0x00FF00FF) | (ag & 0xFF00FF00);
    };
    const uint32_t w[4] = {(256 - wx) * (256 - wy), wx * (256 - wy), (256 - wx) * wy, wx * wy};
    if (ix >= 0 && ix + 1 < width && iy >= 0 && iy + 1 < height) {
        Argb* row = pixels + static_cast<ptrdiff_t>(iy) * stride;
        mix(row[ix], (w[0] * a) >> 16);
        if (wx) mix(row[ix + 1], (w[1] * a) >> 16);
        if (wy) {
            row += stride;
            mix(row[ix], (w[2] * a) >> 16);
            if (wx) mix(row[ix + 1], (w[3] * a) >> 16);
        }
        return;
    }
    for (int k = 0; k < 4; ++k) {  // at an edge: each pixel on its own
        const int px = ix + (k & 1), py = iy + (k >> 1);
        if (px < 0 || px >= width || py < 0 || py >= height) continue;
        const uint32_t f = (w[k] * a) >> 16;
        if (f) mix(pixels[static_cast<ptrdiff_t>(py) * stride + px], f);
    }
}

// The same for points on a whole pixel row (y) or column (x), which touch
// two pixels only: what arcs traced by the midpoint method set. Same pixels
// as BlendPointAA, with less work.
namespace blend {
inline void Mix(Argb& p, uint32_t f, uint32_t cRB, uint32_t cAG) {
    const uint32_t g = 256 - f;
    const uint32_t rb = ((p & 0x00FF00FF) * g + cRB * f) >> 8;
    const uint32_t ag = ((p >> 8) & 0x00FF00FF) * g + cAG * f;
    p = (rb & 0x00FF00FF) | (ag & 0xFF00FF00);
}
#if defined(__SSE2__)
// Mix on two pixels at once: every channel is (dst * (256 - f) + src * f) >> 8,
// which never leaves 16 bits, so eight 16-bit lanes give the same bytes.
// A share of 0 leaves its pixel as it was.
[[gnu::always_inline]] inline __m128i Mix2(__m128i two, uint32_t f0, uint32_t f1, __m128i color) {
    __m128i f = _mm_cvtsi32_si128(static_cast<int>(f0 | f1 << 16));
    f = _mm_unpacklo_epi16(f, f);
    f = _mm_unpacklo_epi32(f, f);  // f0 x 4, f1 x 4
    const __m128i g = _mm_sub_epi16(_mm_set1_epi16(256), f);
    const __m128i dst = _mm_unpacklo_epi8(two, _mm_setzero_si128());
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(dst, g), _mm_mullo_epi16(color, f));
    const __m128i r = _mm_srli_epi16(sum, 8);
    return _mm_packus_epi16(r, r);
}
#endif
}  // namespace blend

struct PixelTarget {
    Argb* pixels;
    int width, height, stride;
    Argb color;
    uint32_t cRB, cAG, a;
#if defined(__SSE2__)
    __m128i wide;  // the colour's channels in 16-bit lanes, twice
#endif
    PixelTarget(Argb* p, int w, int h, int s, Argb c)
        : pixels(p),
          width(w),
          height(h),
          stride(s),
          color(c),
          cRB(c & 0x00FF00FF),
          cAG((c >> 8) & 0x00FF00FF),
          a((c >> 24) + 1) {
#if defined(__SSE2__)
        wide = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(c)), _mm_setzero_si128());
#endif
    }

    // With `inside`, the caller knows the point lies a pixel clear of every
    // edge and the colour is not transparent: no test is made.
    template <bool inside = false>
    [[gnu::always_inline]] void OnRow(double x, int y) const {
        if (inside || (x > -1.0 && x < width - 1 && y >= 0 && y < height && a > 1)) {
            const int xi = static_cast<int>((x + 1.0) * 256.0);
            const uint32_t wx = static_cast<uint32_t>(xi) & 255;
            const int ix = (xi >> 8) - 1;
            if (inside || ix >= 0) {
                Argb* p = pixels + static_cast<ptrdiff_t>(y) * stride + ix;
#if defined(__SSE2__)
                if constexpr (inside) {  // p[1] is in the row: mixed by 0 when wx is 0
                    const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(p),
                                     blend::Mix2(two, ((256 - wx) * a) >> 8, (wx * a) >> 8, wide));
                    return;
                }
#endif
                blend::Mix(p[0], ((256 - wx) * a) >> 8, cRB, cAG);
                if (wx) blend::Mix(p[1], (wx * a) >> 8, cRB, cAG);
                return;
            }
        }
        BlendPointAA(pixels, width, height, stride, x, y, color);
    }
    template <bool inside = false>
    [[gnu::always_inline]] void OnColumn(int x, double y) const {
        if (inside || (y > -1.0 && y < height - 1 && x >= 0 && x < width && a > 1)) {
            const int yi = static_cast<int>((y + 1.0) * 256.0);
            const uint32_t wy = static_cast<uint32_t>(yi) & 255;
            const int iy = (yi >> 8) - 1;
            if (inside || iy >= 0) {
                Argb* p = pixels + static_cast<ptrdiff_t>(iy) * stride + x;
#if defined(__SSE2__)
                if constexpr (inside) {  // p[stride] is in the bitmap: mixed by 0 when wy is 0
                    const __m128i two =
                        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(p[0])),
                                           _mm_cvtsi32_si128(static_cast<int>(p[stride])));
                    const __m128i r = blend::Mix2(two, ((256 - wy) * a) >> 8, (wy * a) >> 8, wide);
                    p[0] = static_cast<Argb>(_mm_cvtsi128_si32(r));
                    p[stride] = static_cast<Argb>(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)));
                    return;
                }
#endif
                blend::Mix(p[0], ((256 - wy) * a) >> 8, cRB, cAG);
                if (wy) blend::Mix(p[stride], (wy * a) >> 8, cRB, cAG);
                return;
            }
        }
        BlendPointAA(pixels, width, height, stride, x, y, color);
    }
};

}  // namespace qm
