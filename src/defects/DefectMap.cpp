#include "defects/DefectMap.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <numbers>
#include <optional>

#include "common/Workbench.h"

namespace qm {

const char kZoneMapMissingMessage[] =
    "Defects layout will not match real\rif the Zone Map has not been loaded.";

MapGeometry MapGeometry::For(int width, int height) {
    MapGeometry g;
    g.width = std::max(width, 0);
    g.height = std::max(height, 0);
    g.m = std::min(g.width, g.height);
    g.rOuter = g.m / 2 - g.m / 10;
    g.cx = g.width / 2;
    g.cy = g.height / 2;
    g.r0 = std::min(g.cy, g.cx);
    return g;
}

uint32_t MapGeometry::ScaleFor(uint32_t maxCylinder) const {
    // Kept in 32 bits and at least 1: a tiny table (or a tiny bitmap) must
    // not make the cylinder-to-radius division undefined.
    return std::max<uint32_t>(1, maxCylinder / static_cast<uint32_t>(std::max(rOuter, 1)));
}

int MapHeadCount(uint8_t headCount) {
    return headCount == 0 ? kMaxMapHeads : std::min<int>(headCount, kMaxMapHeads);
}

void DrawHeadLabels(Canvas& canvas, int heads) {
    heads = std::clamp(heads, 0, kMaxMapHeads);
    for (int h = 0; h < heads; ++h)
        canvas.TextOut(canvas.Width() - 40, 15 * h + 5, "Head " + std::to_string(h),
                       kHeadColors[static_cast<size_t>(h)]);
}

void ClearDefectMap(Canvas& canvas, bool black, int heads) {
    canvas.Fill(MapBackground(black));
    DrawHeadLabels(canvas, heads);
}

// ---------------------------------------------------------------------------
// The anti-aliased arc.
//
// The midpoint trace walks the first octant: step s has y = -s and the
// sub-pixel x = x - e / (2x + 1). Its eight mirror images cover the circle;
// the octant k (k * 45 .. k * 45 + 45 degrees) gets, in screen offsets:
//   0 (xf, -s)   1 (s, -xf)   2 (-s, -xf)   3 (-xf, -s)
//   4 (-xf, s)   5 (-s, xf)   6 (s, xf)     7 (xf, s)
// Within an octant one coordinate is +-s. Membership of a point in the arc is
// decided on that coordinate against the end point's coordinate rounded to
// whole pixels (y in octants 0, 3, 4, 7; x in 1, 2, 5, 6). Expressed as a key
// that grows with the angle, the key is +s in even octants and -s in odd
// ones, so the points of an octant that belong to the arc are a range of
// steps, which is what the fast path walks.
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// The points of one step in drawing order: (dx, dy) of each octant.
inline void StepPoints(double xf, double s, double (&dx)[8], double (&dy)[8]) {
    dx[0] = xf, dy[0] = -s;
    dx[1] = s, dy[1] = -xf;
    dx[2] = -s, dy[2] = -xf;
    dx[3] = -xf, dy[3] = -s;
    dx[4] = -xf, dy[4] = s;
    dx[5] = -s, dy[5] = xf;
    dx[6] = s, dy[6] = xf;
    dx[7] = xf, dy[7] = s;
}

// The key of a point of octant k: grows with the angle inside the octant.
inline double PointKey(int k, double dx, double dy) {
    switch (k) {
        case 0:
        case 7:
            return -dy;
        case 3:
        case 4:
            return dy;
        case 1:
        case 2:
            return -dx;
        default:
            return dx;  // 5, 6
    }
}

// Sine and cosine of whole degrees 0..359 from a table (the same values the
// library gives for them): the map's angles are whole degrees.
struct DegreeTable {
    double sin[360], cos[360];
    DegreeTable() {
        for (int a = 0; a < 360; ++a) {
            sin[a] = std::sin(a * kDegree);
            cos[a] = std::cos(a * kDegree);
        }
    }
};
const DegreeTable& Degrees() {
    static const DegreeTable table;
    return table;
}
inline bool WholeDegree(double a, int& index) {
    index = static_cast<int>(a);
    return index >= 0 && index < 360 && index == a;
}

// Round to nearest, ties to even (for |v| < 2^51): the sum is rounded by the
// floating-point unit in its default mode, with no library call.
inline double RoundHalfEven(double v) {
    constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
    return (v + kMagic) - kMagic;
}

// The key of the end point at angle a (degrees, in [0, 360)) in octant k:
// its coordinate rounded to whole pixels (ties to even).
inline long long EndKey(int k, int r, double a) {
    const bool useY = k == 0 || k == 3 || k == 4 || k == 7;
    int i = 0;
    double v = 0;
    if (WholeDegree(a, i))
        v = useY ? Degrees().sin[i] : Degrees().cos[i];
    else
        v = useY ? std::sin(a * kDegree) : std::cos(a * kDegree);
    const double rounded = RoundHalfEven(useY ? -r * v : r * v);
    return static_cast<long long>(useY ? PointKey(k, 0, rounded) : PointKey(k, rounded, 0));
}

double Reduce(double a) {
    if (a >= 0 && a < 360) return a;
    if (a >= -360 && a < 0) return a + 360;
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a -= 360.0;
    return a;
}

int OctantOf(double a) {
    int i = 0;
    if (WholeDegree(a, i)) return i / 45;
    return std::clamp(static_cast<int>(a / 45.0), 0, 7);
}

// Which keys of each octant belong to the arc.
struct OctantRule {
    enum Kind { Out, All, From, To, Between, Outside } kind = Out;
    long long t1 = 0, t2 = 0;
    bool Holds(double key) const {
        switch (kind) {
            case Out:
                return false;
            case All:
                return true;
            case From:
                return key >= t1;
            case To:
                return key <= t2;
            case Between:
                return key >= t1 && key <= t2;
            case Outside:
                return key >= t1 || key <= t2;
        }
        return false;
    }
};

struct ArcRules {
    bool draw = false;
    std::array<OctantRule, 8> octant{};
};

ArcRules RulesFor(int r, double a1, double a2) {
    ArcRules rules;
    if (r < 0 || !std::isfinite(a1) || !std::isfinite(a2)) return rules;
    if (a1 == 0 && a2 == 0) return rules;
    rules.draw = true;
    if (a2 - a1 >= 360) {
        for (OctantRule& o : rules.octant) o.kind = OctantRule::All;
        return rules;
    }
    a1 = Reduce(a1);
    a2 = Reduce(a2);
    const int s = OctantOf(a1), e = OctantOf(a2);
    const long long t1 = EndKey(s, r, a1), t2 = EndKey(e, r, a2);
    if (s == e) {
        if (a1 <= a2) {
            rules.octant[static_cast<size_t>(s)] = {OctantRule::Between, t1, t2};
        } else {
            for (OctantRule& o : rules.octant) o.kind = OctantRule::All;
            rules.octant[static_cast<size_t>(s)] = {OctantRule::Outside, t1, t2};
        }
        return rules;
    }
    rules.octant[static_cast<size_t>(s)] = {OctantRule::From, t1, 0};
    rules.octant[static_cast<size_t>(e)] = {OctantRule::To, 0, t2};
    for (int k = (s + 1) % 8; k != e; k = (k + 1) % 8)
        rules.octant[static_cast<size_t>(k)].kind = OctantRule::All;
    return rules;
}

// Steps lo..hi (inclusive; empty when lo > hi).
struct StepRange {
    long long lo = 1, hi = 0;
    bool Has(long long s) const { return s >= lo && s <= hi; }
};

// The steps of octant k whose key satisfies the rule (at most two ranges).
void StepsOf(int k, const OctantRule& rule, long long last, StepRange& a, StepRange& b) {
    a = {};
    b = {};
    // key = s (even octants) or -s (odd): key >= t is s >= t or s <= -t.
    const bool even = k % 2 == 0;
    auto atLeast = [&](long long t) {  // key >= t
        return even ? StepRange{t, last} : StepRange{0, -t};
    };
    auto atMost = [&](long long t) {  // key <= t
        return even ? StepRange{0, t} : StepRange{-t, last};
    };
    switch (rule.kind) {
        case OctantRule::Out:
            break;
        case OctantRule::All:
            a = {0, last};
            break;
        case OctantRule::From:
            a = atLeast(rule.t1);
            break;
        case OctantRule::To:
            a = atMost(rule.t2);
            break;
        case OctantRule::Between: {
            const StepRange x = atLeast(rule.t1), y = atMost(rule.t2);
            a = {std::max(x.lo, y.lo), std::min(x.hi, y.hi)};
            break;
        }
        case OctantRule::Outside:
            a = atLeast(rule.t1);
            b = atMost(rule.t2);
            break;
    }
    a.lo = std::max(a.lo, 0LL), a.hi = std::min(a.hi, last);
    b.lo = std::max(b.lo, 0LL), b.hi = std::min(b.hi, last);
}

// The midpoint trace of radius r: the sub-pixel x of every step.
void TraceCircle(int r, std::vector<double>& out) {
    out.clear();
    long long x = r, e = 0, inc = 1;
    while (2 * x + 1 >= inc) {
        out.push_back(static_cast<double>(x) -
                      static_cast<double>(e) / static_cast<double>(2 * x + 1));
        e += inc;
        inc += 2;
        if (e >= 2 * x + 1) {
            e -= 2 * x + 1;
            --x;
        }
    }
}

// Radii beyond this are not cached (nothing the map draws comes near it).
constexpr int kMaxCachedRadius = 1 << 15;

}  // namespace

const std::vector<double>& ArcPainter::Trace(int r) {
    if (static_cast<size_t>(r) >= traces_.size()) traces_.resize(static_cast<size_t>(r) + 1);
    std::vector<double>& t = traces_[static_cast<size_t>(r)];
    if (t.empty()) TraceCircle(r, t);
    return t;
}

const int32_t* ArcPainter::DegreeKeys(int r) {
    if (static_cast<size_t>(r) >= keys_.size()) keys_.resize(static_cast<size_t>(r) + 1);
    std::vector<int32_t>& keys = keys_[static_cast<size_t>(r)];
    if (keys.empty()) {
        // The end point's key in its octant (EndKey for a whole degree).
        const DegreeTable& d = Degrees();
        keys.resize(360);
        for (int b = 0; b < 360; ++b) {
            const int k = b / 45;
            const bool useY = k == 0 || k == 3 || k == 4 || k == 7;
            const double c = RoundHalfEven(useY ? -r * d.sin[b] : r * d.cos[b]);
            keys[static_cast<size_t>(b)] =
                static_cast<int32_t>(k == 0 || k == 7 || k == 1 || k == 2 ? -c : c);
        }
    }
    return keys.data();
}

void ArcPainter::ArcReference(Canvas& canvas, int cx, int cy, int r, double a1, double a2,
                              Argb color) {
    const ArcRules rules = RulesFor(r, a1, a2);
    if (!rules.draw) return;
    std::vector<double> trace;
    TraceCircle(r, trace);
    double dx[8], dy[8];
    for (size_t s = 0; s < trace.size(); ++s) {
        StepPoints(trace[s], static_cast<double>(s), dx, dy);
        for (int k = 0; k < 8; ++k)
            if (rules.octant[static_cast<size_t>(k)].Holds(PointKey(k, dx[k], dy[k])))
                canvas.PointAA(cx + dx[k], cy + dy[k], color);
    }
}

// The points of steps from..to of octant k, in step order. With `inside`
// every point is known to lie a pixel clear of the bitmap's edges.
template <bool inside>
void OctantRun(const PixelTarget& target, int cx, int cy, int k, const double* xf, int from,
               int to) {
    switch (k) {
        case 0:
            for (int n = from; n <= to; ++n) target.OnRow<inside>(cx + xf[n], cy - n);
            break;
        case 1:
            for (int n = from; n <= to; ++n) target.OnColumn<inside>(cx + n, cy - xf[n]);
            break;
        case 2:
            for (int n = from; n <= to; ++n) target.OnColumn<inside>(cx - n, cy - xf[n]);
            break;
        case 3:
            for (int n = from; n <= to; ++n) target.OnRow<inside>(cx - xf[n], cy - n);
            break;
        case 4:
            for (int n = from; n <= to; ++n) target.OnRow<inside>(cx - xf[n], cy + n);
            break;
        case 5:
            for (int n = from; n <= to; ++n) target.OnColumn<inside>(cx - n, cy + xf[n]);
            break;
        case 6:
            for (int n = from; n <= to; ++n) target.OnColumn<inside>(cx + n, cy + xf[n]);
            break;
        default:
            for (int n = from; n <= to; ++n) target.OnRow<inside>(cx + xf[n], cy + n);
            break;
    }
}

// Octant k inside the bitmap with no branch on k: each point lies on a whole
// line (a row in octants 0, 3, 4 and 7, a column in the others) that moves by
// `major` pixels a step, at the sub-pixel position centre + sign * xf along
// it; its two pixels are `minor` apart.
struct OctantWalk {
    double sign;
    bool rows;
    int majorRows, majorCols;  // the line's move per step, in rows and columns
};
constexpr OctantWalk kWalks[8] = {
    {1.0, true, -1, 0}, {-1.0, false, 0, 1}, {-1.0, false, 0, -1}, {-1.0, true, -1, 0},
    {-1.0, true, 1, 0}, {1.0, false, 0, -1}, {1.0, false, 0, 1},   {1.0, true, 1, 0},
};

void OctantRunInside(const PixelTarget& target, int cx, int cy, int k, const double* xf, int from,
                     int to) {
    const OctantWalk& w = kWalks[k];
    const ptrdiff_t stride = target.stride;
    const ptrdiff_t major = w.majorRows * stride + w.majorCols;
    const ptrdiff_t minor = w.rows ? 1 : stride;
    const double centre = w.rows ? cx : cy;
    // The line of step 0: row cy or column cx.
    Argb* line = target.pixels + (w.rows ? cy * stride : cx) + from * major;
    const double sign = w.sign;
    for (int n = from; n <= to; ++n, line += major) {
        const int vi = static_cast<int>((centre + sign * xf[n] + 1.0) * 256.0);
        const uint32_t f = static_cast<uint32_t>(vi) & 255;
        Argb* p = line + ((vi >> 8) - 1) * minor;
#if defined(__SSE2__)
        // The second pixel is in the bitmap: mixed by 0 when f is 0.
        const __m128i two = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(p[0])),
                                               _mm_cvtsi32_si128(static_cast<int>(p[minor])));
        const __m128i r =
            blend::Mix2(two, ((256 - f) * target.a) >> 8, (f * target.a) >> 8, target.wide);
        p[0] = static_cast<Argb>(_mm_cvtsi128_si32(r));
        p[minor] = static_cast<Argb>(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)));
#else
        blend::Mix(p[0], ((256 - f) * target.a) >> 8, target.cRB, target.cAG);
        if (f) blend::Mix(p[minor], (f * target.a) >> 8, target.cRB, target.cAG);
#endif
    }
}

// One point of step n of octant k.
template <bool inside>
[[gnu::always_inline]] inline void OctantPoint(const PixelTarget& target, int cx, int cy, int k,
                                               double xf, int n) {
    switch (k) {
        case 0:
            target.OnRow<inside>(cx + xf, cy - n);
            break;
        case 1:
            target.OnColumn<inside>(cx + n, cy - xf);
            break;
        case 2:
            target.OnColumn<inside>(cx - n, cy - xf);
            break;
        case 3:
            target.OnRow<inside>(cx - xf, cy - n);
            break;
        case 4:
            target.OnRow<inside>(cx - xf, cy + n);
            break;
        case 5:
            target.OnColumn<inside>(cx - n, cy + xf);
            break;
        case 6:
            target.OnColumn<inside>(cx + n, cy + xf);
            break;
        default:
            target.OnRow<inside>(cx + xf, cy + n);
            break;
    }
}

// Steps a0..a1 of octant ka and b0..b1 of octant kb (ka < kb), in step
// order and, within a step, octant order: the order of the whole trace,
// which a pixel both octants touch must keep.
template <bool inside>
void TwoOctants(const PixelTarget& target, int cx, int cy, const double* xf, int ka, int a0, int a1,
                int kb, int b0, int b1) {
    const int from = std::min(a0, b0), to = std::max(a1, b1);
    for (int n = from; n <= to; ++n) {
        if (n >= a0 && n <= a1) OctantPoint<inside>(target, cx, cy, ka, xf[n], n);
        if (n >= b0 && n <= b1) OctantPoint<inside>(target, cx, cy, kb, xf[n], n);
    }
}

// The steps lo..hi of octant k whose keys lie in [t1, t2] (key = s in even
// octants, -s in odd ones), within the trace's `size` steps.
inline void RunOf(int k, long long t1, long long t2, long long size, int& from, int& to) {
    const long long lo = std::max(k % 2 == 0 ? t1 : -t2, 0LL);
    const long long hi = std::min(k % 2 == 0 ? t2 : -t1, size - 1);
    from = static_cast<int>(lo);
    to = static_cast<int>(std::max(hi, lo - 1));
}

void ArcPainter::Run(const PixelTarget& target, int cx, int cy, int r, int k, long long t1,
                     long long t2) {
    const std::vector<double>& trace = Trace(r);
    int from = 0, to = 0;
    RunOf(k, t1, t2, static_cast<long long>(trace.size()), from, to);
    if (Inside(target, cx, cy, r))
        OctantRunInside(target, cx, cy, k, trace.data(), from, to);
    else
        OctantRun<false>(target, cx, cy, k, trace.data(), from, to);
}

bool ArcPainter::Inside(const PixelTarget& target, int cx, int cy, int r) {
    // The whole circle a pixel clear of every edge: no point needs a test.
    return cx - r >= 0 && cx + r < target.width - 1 && cy - r >= 0 && cy + r < target.height - 1 &&
           target.a > 1;
}

void ArcPainter::Run2(const PixelTarget& target, int cx, int cy, int r, int s, long long t1,
                      long long t2) {
    const std::vector<double>& trace = Trace(r);
    const long long size = static_cast<long long>(trace.size());
    const int e = (s + 1) % 8;
    constexpr long long kFar = 1LL << 40;
    int s0 = 0, s1 = 0, e0 = 0, e1 = 0;
    RunOf(s, t1, kFar, size, s0, s1);   // from the start point on
    RunOf(e, -kFar, t2, size, e0, e1);  // up to the end point
    const bool in = Inside(target, cx, cy, r);
    const double* xf = trace.data();
    auto one = [&](int k, int from, int to) {
        if (in)
            OctantRunInside(target, cx, cy, k, xf, from, to);
        else
            OctantRun<false>(target, cx, cy, k, xf, from, to);
    };
    if (s0 > s1) return one(e, e0, e1);
    if (e0 > e1) return one(s, s0, s1);
    const int ka = std::min(s, e), kb = std::max(s, e);
    const int a0 = ka == s ? s0 : e0, a1 = ka == s ? s1 : e1;
    const int b0 = ka == s ? e0 : s0, b1 = ka == s ? e1 : s1;
    if (in)
        TwoOctants<true>(target, cx, cy, xf, ka, a0, a1, kb, b0, b1);
    else
        TwoOctants<false>(target, cx, cy, xf, ka, a0, a1, kb, b0, b1);
}

void ArcPainter::WholeDegreeArc(const PixelTarget& target, Canvas& canvas, int cx, int cy, int r,
                                int a1, int a2) {
    // The common arc of a few sectors, as in Arc, in whole numbers.
    if (r >= 0 && r <= kMaxCachedRadius && !(a1 == 0 && a2 == 0) &&
        static_cast<long long>(a2) - a1 < 360) {
        auto reduce = [](int a) {
            a %= 360;
            return a < 0 ? a + 360 : a;
        };
        const int b1 = reduce(a1), b2 = reduce(a2);
        const int k = b1 / 45, ke = b2 / 45;
        const int32_t* key = DegreeKeys(r);
        if (k == ke && b1 <= b2) {
            Run(target, cx, cy, r, k, key[b1], key[b2]);
            return;
        }
        // Across one octant boundary (through 0 from octant 7).
        if (ke == (k + 1) % 8) {
            Run2(target, cx, cy, r, k, key[b1], key[b2]);
            return;
        }
    }
    Arc(canvas, cx, cy, r, a1, a2, target.color);
}

void ArcPainter::Arc(Canvas& canvas, int cx, int cy, int r, double a1, double a2, Argb color) {
    int stride = 0;
    Argb* pixels = canvas.Pixels(stride);
    const PixelTarget target(pixels, canvas.Width(), canvas.Height(), stride, color);
    // The common arc of a few sectors: start and end in one octant, in
    // order; its points are one run of steps there (the rules below, worked
    // out for this case alone).
    if (pixels && r >= 0 && r <= kMaxCachedRadius && std::isfinite(a1) && std::isfinite(a2) &&
        !(a1 == 0 && a2 == 0) && a2 - a1 < 360) {
        const double b1 = Reduce(a1), b2 = Reduce(a2);
        const int k = OctantOf(b1);
        if (k == OctantOf(b2) && b1 <= b2) {
            Run(target, cx, cy, r, k, EndKey(k, r, b1), EndKey(k, r, b2));
            return;
        }
    }
    const ArcRules rules = RulesFor(r, a1, a2);
    if (!rules.draw) return;
    if (r > kMaxCachedRadius) {
        ArcReference(canvas, cx, cy, r, a1, a2, color);
        return;
    }
    const std::vector<double>& trace = Trace(r);
    const long long last = static_cast<long long>(trace.size()) - 1;
    StepRange ranges[8][2];
    // The steps where some octant's range starts or ends cut the trace into
    // pieces over which the same octants draw.
    long long cuts[34];
    int cutCount = 0;
    cuts[cutCount++] = 0;
    cuts[cutCount++] = last + 1;
    for (int k = 0; k < 8; ++k) {
        StepsOf(k, rules.octant[static_cast<size_t>(k)], last, ranges[k][0], ranges[k][1]);
        for (const StepRange& x : ranges[k]) {
            if (x.lo > x.hi) continue;
            cuts[cutCount++] = x.lo;
            cuts[cutCount++] = x.hi + 1;
        }
    }
    std::sort(cuts, cuts + cutCount);
    // Step order, and in every step octant order, as the whole trace gives
    // them; straight into the pixels when the canvas has them. In octants
    // 0, 3, 4 and 7 a point sits on a whole pixel row, in the others on a
    // whole column.
    for (int i = 0; i + 1 < cutCount; ++i) {
        const long long from = cuts[i], to = cuts[i + 1];
        if (from >= to) continue;
        unsigned mask = 0;
        for (int k = 0; k < 8; ++k)
            if (ranges[k][0].Has(from) || ranges[k][1].Has(from)) mask |= 1u << k;
        if (!mask) continue;
        for (long long s = from; s < to; ++s) {
            const double xf = trace[static_cast<size_t>(s)];
            const int n = static_cast<int>(s);
            for (unsigned m = mask; m; m &= m - 1) {
                const int k = std::countr_zero(m);
                if (!pixels) {
                    double dx[8], dy[8];
                    StepPoints(xf, static_cast<double>(s), dx, dy);
                    canvas.PointAA(cx + dx[k], cy + dy[k], color);
                    continue;
                }
                switch (k) {
                    case 0:
                        target.OnRow(cx + xf, cy - n);
                        break;
                    case 1:
                        target.OnColumn(cx + n, cy - xf);
                        break;
                    case 2:
                        target.OnColumn(cx - n, cy - xf);
                        break;
                    case 3:
                        target.OnRow(cx - xf, cy - n);
                        break;
                    case 4:
                        target.OnRow(cx - xf, cy + n);
                        break;
                    case 5:
                        target.OnColumn(cx - n, cy + xf);
                        break;
                    case 6:
                        target.OnColumn(cx + n, cy + xf);
                        break;
                    default:
                        target.OnRow(cx + xf, cy + n);
                        break;
                }
            }
        }
    }
}

void PlainArc(Canvas& canvas, int cx, int cy, int r, double a1, double a2) {
    if (r < 0 || !std::isfinite(a1) || !std::isfinite(a2)) return;
    auto at = [&](double a, double& x, double& y) {
        x = cx + r * std::cos(a * kDegree);
        y = cy - r * std::sin(a * kDegree);
    };
    double x = 0, y = 0;
    at(a1, x, y);
    canvas.MoveToF(x, y);
    // Whole degrees from a1; a far-off a2 cannot make this loop long.
    const double stop = std::min(a2, a1 + 720.0);
    for (double a = a1; a <= stop; a += 1) {
        at(a, x, y);
        canvas.LineToF(x, y);
    }
}

void PlainCircle(Canvas& canvas, int cx, int cy, int r) {
    if (r < 0) return;
    canvas.MoveTo(cx + r, cy);
    for (int a = 0; a <= 360; a += 3) {
        const double rad = a * kDegree;
        canvas.LineTo(cx + static_cast<int>(r * std::cos(rad)),
                      cy - static_cast<int>(r * std::sin(rad)));
    }
}

// ---------------------------------------------------------------------------
// View.
namespace {

// Radius of a cylinder: R0 - c div scale, kept in int range.
int RadiusOf(const MapGeometry& g, uint32_t cylinder, uint32_t scale) {
    const long long r = static_cast<long long>(g.r0) - static_cast<long long>(cylinder / scale);
    return static_cast<int>(std::max<long long>(r, INT_MIN / 2));
}

// Division of 32-bit numbers by a divisor fixed for a pass, by one multiply:
// q = floor(m * n / 2^64) with m = floor((2^64 - 1) / d) + 1 is exact for
// every 32-bit n and d >= 2.
class Divider {
  public:
    Divider() = default;
    explicit Divider(uint32_t d)
        : d_(std::max<uint32_t>(d, 1)), m_(d_ > 1 ? UINT64_MAX / d_ + 1 : 0) {}
    uint32_t Of(uint32_t n) const {
        __extension__ using U128 = unsigned __int128;
        return d_ > 1 ? static_cast<uint32_t>((static_cast<U128>(m_) * n) >> 64) : n;
    }

  private:
    uint32_t d_ = 1;
    uint64_t m_ = 0;
};

// ZoneSectorsPerTrack over a pass's table, by binary search when the zone
// ends ascend (every real table), else by the linear rule; with each zone's
// sectors per track and p = spt * k div 360 worked out once.
class ZoneLookup {
  public:
    ZoneLookup(const DefectTables& t, uint32_t k) : t_(t) {
        count_ = std::clamp(t.zoneCount, 0, static_cast<int>(kMaxZones));
        sorted_ = true;
        for (int i = 2; i < count_ && sorted_; ++i)
            sorted_ =
                t.zones[static_cast<size_t>(i - 1)].end <= t.zones[static_cast<size_t>(i)].end;
        for (int i = 0; i < count_; ++i) {
            uint32_t spt = t.zones[static_cast<size_t>(i)].sectorsPerTrack;
            if (spt == 0) spt = t.zones[static_cast<size_t>(count_ - 1)].sectorsPerTrack;
            spt_[static_cast<size_t>(i)] = spt;
            p_[static_cast<size_t>(i)] = Divider(std::max<uint32_t>(1, spt * k / 360));
        }
    }
    // The zone whose sectors per track a cylinder takes: the first from 1 on
    // whose end is at or past it, else the last. The list runs by cylinder,
    // so the last answer's cylinder range is tried first.
    int ZoneOf(uint32_t cylinder) {
        if (count_ == 0) return -1;
        if (sorted_) {
            if (cylinder >= lo_ && cylinder <= hi_) return zone_;
            const auto first = t_.zones.begin() + 1, last = t_.zones.begin() + count_;
            const auto it = std::lower_bound(
                first, last, cylinder, [](const TZoneEntry& z, uint32_t c) { return z.end < c; });
            if (it != last) {
                zone_ = static_cast<int>(it - t_.zones.begin());
                lo_ = zone_ > 1 ? t_.zones[static_cast<size_t>(zone_ - 1)].end + 1 : 0;
                hi_ = it->end;
            } else {
                zone_ = count_ - 1;
                lo_ = count_ > 1 ? t_.zones[static_cast<size_t>(count_ - 1)].end + 1 : 0;
                hi_ = UINT32_MAX;
            }
            return zone_;
        }
        for (int i = 1; i < count_; ++i)
            if (t_.zones[static_cast<size_t>(i)].end >= cylinder) return i;
        return count_ - 1;
    }
    uint32_t SectorsPerTrack(int zone) const { return spt_[static_cast<size_t>(zone)]; }
    // Division by the zone's p.
    const Divider& P(int zone) const { return p_[static_cast<size_t>(zone)]; }

  private:
    const DefectTables& t_;
    int count_ = 0;
    bool sorted_ = false;
    std::array<uint32_t, kMaxZones> spt_{};
    std::array<Divider, kMaxZones> p_{};
    int zone_ = 0;
    uint32_t lo_ = 1, hi_ = 0;  // the cylinders of zone_ (none yet)
};

}  // namespace

void ViewDefects(Workbench& wb, Canvas& canvas, const DefectViewOptions& options, int heads,
                 DefectMapReport* report, const DefectMapSources& sources) {
    heads = std::clamp(heads, 0, kMaxMapHeads);
    DefectTables& t = wb.defects;
    sources.zones(wb, 0);
    const uint16_t wedges = sources.wedges(wb);
    DefectListHeader listInfo;
    const uint32_t listCount = sources.list(wb, options.list, &listInfo);
    const std::vector<TDefectEntry>& defects = t.defects;
    const MapGeometry g = MapGeometry::For(canvas.Width(), canvas.Height());
    if (report) {
        report->entries = listCount;
        report->list = listInfo;
        report->wedges = wedges;
        report->heads = heads;
        report->geometry = g;
        report->passes.clear();
    }
    const bool fast = !options.straightforward;

    // Each pass draws only its own head's entries, and of them only the kinds
    // the options show: split them once, in list order, without a branch per
    // entry (the heads and kinds of a list follow no pattern). Entries no pass
    // draws go to slot `heads`, which is not kept.
    std::vector<uint32_t> order;
    std::array<size_t, kMaxMapHeads + 2> headStart{};
    if (fast) {
        std::array<uint8_t, 256> slotOf{};
        for (int h = 0; h < 256; ++h)
            slotOf[static_cast<size_t>(h)] = static_cast<uint8_t>(
                h < heads && options.headChecked[static_cast<size_t>(h)] ? h : heads);
        const bool showTracks = options.showTracks, showSectors = options.showSectors;
        auto slot = [&](const TDefectEntry& e) {
            const bool shown = e.last == kWholeTrack ? showTracks : showSectors;
            return shown ? slotOf[e.head] : static_cast<uint8_t>(heads);
        };
        std::array<size_t, kMaxMapHeads + 1> counts{};
        for (const TDefectEntry& e : defects) ++counts[slot(e)];
        for (int h = 0; h <= heads; ++h)
            headStart[static_cast<size_t>(h) + 1] =
                headStart[static_cast<size_t>(h)] + counts[static_cast<size_t>(h)];
        // The slot not kept writes over one spare place at the end.
        order.resize(headStart[static_cast<size_t>(heads)] + 1);
        std::array<size_t, kMaxMapHeads + 1> at{};
        std::copy(headStart.begin(), headStart.begin() + heads, at.begin());
        at[static_cast<size_t>(heads)] = order.size() - 1;
        const size_t keep = static_cast<size_t>(heads);
        for (size_t j = 0; j < defects.size(); ++j) {
            const size_t h = slot(defects[j]);
            order[at[h]] = static_cast<uint32_t>(j);
            at[h] += h != keep;
        }
    }

    ArcPainter painter;
    auto arc = [&](int r, double a1, double a2, Argb color) {
        if (fast)
            painter.Arc(canvas, g.cx, g.cy, r, a1, a2, color);
        else
            ArcPainter::ArcReference(canvas, g.cx, g.cy, r, a1, a2, color);
    };
    const std::string caption = wb.identity.model + " " + wb.identity.serial;

    for (int i = 0; i < heads; ++i) {
        const int z = sources.zones(wb, static_cast<uint8_t>(i));
        DefectMapPass pass;
        pass.head = i;
        pass.zones = z;
        const auto zone = [&t](int n) -> const TZoneEntry& {
            return t.zones[static_cast<size_t>(n)];
        };

        // Zone circles and the zone line, in grey. Without a zone table only
        // the outer edge is drawn.
        canvas.SetPenColor(kZoneColor);
        int rLast = g.r0;
        auto circle = [&](int r) {
            pass.circles.push_back(r);
            rLast = r;
            if (options.antialias)
                arc(r, 0, 360, kZoneColor);
            else
                PlainCircle(canvas, g.cx, g.cy, r);
        };
        circle(g.r0);
        if (z > 0) {
            const uint32_t scale = g.ScaleFor(zone(z - 1).end);
            if (options.showZones && i == heads - 1) {
                for (int n = 0; n < z; ++n) circle(RadiusOf(g, zone(n).end, scale));
            } else {
                circle(RadiusOf(g, zone(0).end, scale));
                circle(RadiusOf(g, zone(z - 1).end, scale));
            }
            canvas.MoveTo(g.cx + g.r0, g.cy);
            canvas.LineTo(g.cx + rLast, g.cy);
        }
        pass.rLast = rLast;

        // Servo wedge spokes from the last circle to the edge; angle 0 points down.
        if (options.wedges) {
            for (uint32_t l = 0; l < wedges; ++l) {
                const double a = l * 360.0 / wedges * kDegree;
                const int x1 = g.cx + static_cast<int>(std::nearbyint(std::sin(a) * rLast));
                const int y1 = g.cy + static_cast<int>(std::nearbyint(std::cos(a) * rLast));
                const int x2 = g.cx + static_cast<int>(std::nearbyint(std::sin(a) * g.r0));
                const int y2 = g.cy + static_cast<int>(std::nearbyint(std::cos(a) * g.r0));
                canvas.MoveTo(x1, y1);
                canvas.LineTo(x2, y2);
                if (report) pass.spokes.push_back({x1, y1, x2, y2});
            }
        }

        // The cylinder range: the last zone's end, or without a zone table the
        // last defect's cylinder (with a warning).
        uint32_t maxCylinder = 0;
        if (z > 0) {
            maxCylinder = zone(z - 1).end;
        } else if (listCount > 0) {
            maxCylinder = defects.empty() ? 0 : defects.back().cylinder;
            wb.host.MessageBox(kZoneMapMissingMessage);
        }
        const uint32_t scale = g.ScaleFor(maxCylinder);
        pass.maxCylinder = maxCylinder;
        pass.scale = scale;

        canvas.TextOut(10, 10, caption, MapCaptionColor(options.black));

        // k: the least k >= 1 with k times the last zone's sectors per track
        // at least 7200. A last zone of 0 sectors (or no zones) counts as 360.
        uint32_t lastSpt = z > 0 ? zone(z - 1).sectorsPerTrack : 0;
        if (lastSpt == 0) lastSpt = 360;
        const uint32_t k = std::max<uint32_t>(1, (7200 + lastSpt - 1) / lastSpt);
        if (z > 0) pass.k = static_cast<int>(k);

        ZoneLookup lookup(t, k);
        const Divider byScale(scale);
        // The arc of an entry, or false when the entry is not drawn.
        struct ArcCall {
            size_t entry;
            int r, a1, a2;
            Argb color;
        };
        auto arcOf = [&](size_t j, ArcCall& call) {
            const TDefectEntry& e = defects[j];
            // Heads 10 and up have no colour and no box: never drawn.
            if (e.head >= kMaxMapHeads || e.head != i || !options.headChecked[e.head]) return false;
            uint32_t start = 0, end = 360;
            if (e.last == kWholeTrack) {
                if (!options.showTracks) return false;
            } else {
                if (!options.showSectors) return false;
                // In 32 bits: first * k may pass 65535.
                if (z > 0 && fast) {
                    const int zone = lookup.ZoneOf(e.cylinder);
                    // A zone of 0 sectors per track gives the entry no angle.
                    if (lookup.SectorsPerTrack(zone) == 0) return false;
                    const Divider& p = lookup.P(zone);
                    start = p.Of(e.first * k);
                    end = p.Of(e.last * k);
                } else {
                    uint32_t spt = 360, p = k;  // no zones: 360 sectors, p = 360 k div 360
                    if (z > 0) {
                        spt = ZoneSectorsPerTrack(t, e.cylinder);
                        p = std::max<uint32_t>(1, spt * k / 360);
                    }
                    if (spt == 0) return false;
                    start = e.first * k / p;
                    end = e.last * k / p;
                }
            }
            const int r =
                fast ? static_cast<int>(std::max<long long>(
                           static_cast<long long>(g.r0) - byScale.Of(e.cylinder), INT_MIN / 2))
                     : RadiusOf(g, e.cylinder, scale);
            call = {j, r, 360 - static_cast<int>(end), 360 - static_cast<int>(start),
                    kHeadColors[e.head]};
            return true;
        };
        // On a canvas with pixels every arc of the pass (all in the head's
        // colour) goes straight into them: the pen set once, no call per point.
        std::optional<PixelTarget> direct;
        bool probed = false;
        auto draw = [&](const ArcCall& c) {
            if (report && report->wantArcs) pass.arcs.push_back({c.entry, c.r, c.a1, c.a2});
            if (fast && options.antialias) {
                int stride = 0;
                if (!probed && canvas.Pixels(stride)) {
                    canvas.SetPenColor(c.color);
                    Argb* pixels = canvas.Pixels(stride);
                    direct.emplace(pixels, canvas.Width(), canvas.Height(), stride, c.color);
                }
                probed = true;
                if (direct) {
                    painter.WholeDegreeArc(*direct, canvas, g.cx, g.cy, c.r, c.a1, c.a2);
                    return;
                }
            }
            canvas.SetPenColor(c.color);
            if (options.antialias)
                arc(c.r, c.a1, c.a2, c.color);
            else
                PlainArc(canvas, g.cx, g.cy, c.r, c.a1, c.a2);
        };
        ArcCall call{};
        if (fast) {
            for (size_t n = headStart[static_cast<size_t>(i)];
                 n < headStart[static_cast<size_t>(i) + 1]; ++n)
                if (arcOf(order[n], call)) draw(call);
        } else {
            for (size_t j = 0; j < defects.size(); ++j)
                if (arcOf(j, call)) draw(call);
        }
        if (report) report->passes.push_back(std::move(pass));
    }
}

}  // namespace qm
