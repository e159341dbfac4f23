// The defect map: arc geometry through a recording canvas, the View's rules
// on crafted drives, the fast path against the straightforward one, and the
// anti-aliased point's clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "DefectImages.h"
#include "defects/DefectMap.h"
#include "support/PixelCanvas.h"
#include "support/RecordingCanvas.h"
#include "support/VirtualBench.h"
#include "vdrive/SampleServiceArea.h"

namespace qm {
namespace {

using test::CanvasOp;
using test::RecordingCanvas;

std::vector<CanvasOp> FastArc(int r, double a1, double a2) {
    RecordingCanvas c;
    ArcPainter p;
    p.Arc(c, 0, 0, r, a1, a2, 0xFF00FF00);
    return c.ops;
}

std::vector<CanvasOp> ReferenceArc(int r, double a1, double a2) {
    RecordingCanvas c;
    ArcPainter::ArcReference(c, 0, 0, r, a1, a2, 0xFF00FF00);
    return c.ops;
}

std::vector<Argb> WholeDegreePixels(int w, int h, int cx, int cy, int r, int a1, int a2) {
    test::PixelCanvas c(w, h, true);
    int stride = 0;
    Argb* pixels = c.Pixels(stride);
    ArcPainter p;
    p.WholeDegreeArc(PixelTarget(pixels, w, h, stride, 0xFF00FF00), c, cx, cy, r, a1, a2);
    return c.pixels;
}

// Screen angle of a point drawn around (0, 0), in [0, 360).
double AngleOf(const CanvasOp& op) {
    double a = std::atan2(-op.y, op.x) * 180 / std::numbers::pi;
    return a < 0 ? a + 360 : a;
}

bool InArc(double a, double a1, double a2, double tolerance) {
    auto diff = [](double x, double y) { return std::fmod(x - y + 720.0, 360.0); };
    // CCW distance from a1 to a, against the arc's length.
    const double length = diff(a2, a1);
    const double d = diff(a, a1);
    return d <= length + tolerance || d >= 360 - tolerance;
}

TEST(Arc, FastTraceDrawsExactlyTheWholeTracesPoints) {
    const double angles[] = {-400, -90, -3,  0,   1,   44,  45,  46,  89,  90,  135,
                             179,  180, 225, 269, 270, 314, 315, 359, 360, 361, 725};
    for (int r : {0, 1, 2, 7, 100, 171}) {
        for (double a1 : angles) {
            for (double a2 : angles) {
                SCOPED_TRACE(testing::Message() << r << " " << a1 << " " << a2);
                ASSERT_EQ(FastArc(r, a1, a2), ReferenceArc(r, a1, a2));
                // Straight into the pixels, the centre near a corner so that
                // points fall off two edges.
                test::PixelCanvas direct(200, 150, true), onebyone(200, 150, false);
                ArcPainter p;
                p.Arc(direct, 190, 10, r, a1, a2, 0xFF00FF00);
                ArcPainter::ArcReference(onebyone, 190, 10, r, a1, a2, 0xFF00FF00);
                ASSERT_TRUE(direct.pixels == onebyone.pixels);
                // The map's whole-degree arcs: at the corner, and clear of
                // every edge (where no point is tested).
                const int w1 = static_cast<int>(a1), w2 = static_cast<int>(a2);
                ASSERT_TRUE(WholeDegreePixels(200, 150, 190, 10, r, w1, w2) == onebyone.pixels);
                const int m = 2 * r + 4;
                test::PixelCanvas middle(m, m, false);
                ArcPainter::ArcReference(middle, r + 2, r + 2, r, a1, a2, 0xFF00FF00);
                ASSERT_TRUE(WholeDegreePixels(m, m, r + 2, r + 2, r, w1, w2) == middle.pixels);
            }
        }
    }
}

TEST(Arc, PointsLieOnTheArcAndReachBothEnds) {
    const int r = 100;
    const double tolerance = 1.5 * 180 / (std::numbers::pi * r);  // 1.5 pixels
    const std::pair<double, double> arcs[] = {{10, 80},  {44, 46},   {270, 360}, {-90, 0},
                                              {350, 10}, {100, 260}, {300, 301}};
    for (const auto& [a1, a2] : arcs) {
        SCOPED_TRACE(testing::Message() << a1 << " " << a2);
        const auto ops = FastArc(r, a1, a2);
        ASSERT_FALSE(ops.empty());
        bool nearStart = false, nearEnd = false;
        for (const CanvasOp& op : ops) {
            EXPECT_NEAR(std::hypot(op.x, op.y), r, 1.0);
            const double a = AngleOf(op);
            EXPECT_TRUE(InArc(a, a1, a2, tolerance)) << a;
            nearStart = nearStart || InArc(a, a1, a1, tolerance);
            nearEnd = nearEnd || InArc(a, a2, a2, tolerance);
        }
        EXPECT_TRUE(nearStart);
        EXPECT_TRUE(nearEnd);
    }
}

TEST(Arc, WholeCirclesWrapsAndNothing) {
    const size_t whole = FastArc(100, 0, 360).size();
    EXPECT_EQ(whole % 8, 0u);
    EXPECT_EQ(FastArc(100, -30, 330).size(), whole);
    EXPECT_EQ(FastArc(100, 5, 1000).size(), whole);
    EXPECT_TRUE(FastArc(100, 0, 0).empty());
    EXPECT_TRUE(FastArc(-5, 0, 360).empty());
    // Negative angles reduce: -90..0 is 270..0, the same as 270..360.
    EXPECT_EQ(FastArc(100, -90, 0), FastArc(100, 270, 360));
    // One octant with the start past the end: everything but 10..30 degrees.
    const auto rest = FastArc(100, 30, 10);
    for (const CanvasOp& op : rest) EXPECT_FALSE(InArc(AngleOf(op), 11, 29, 0)) << AngleOf(op);
    EXPECT_GT(rest.size(), whole * 8 / 10);
}

TEST(Arc, WithoutAntialiasingArcsAreDegreePolylinesAndCirclesThreeDegreeOnes) {
    RecordingCanvas c;
    PlainArc(c, 400, 300, 100, 0, 360);  // a whole track
    EXPECT_EQ(c.Of(CanvasOp::MoveF).size(), 1u);
    EXPECT_EQ(c.Of(CanvasOp::LineF).size(), 361u);
    c.ops.clear();
    PlainArc(c, 400, 300, 100, 20, 10);  // start past the end: only the move
    EXPECT_EQ(c.ops.size(), 1u);
    c.ops.clear();
    PlainCircle(c, 400, 300, 100);
    const auto lines = c.Of(CanvasOp::Line);
    ASSERT_EQ(lines.size(), 121u);
    EXPECT_EQ(lines[30].x, 400);  // 90 degrees: straight up, offsets truncated
    EXPECT_EQ(lines[30].y, 200);
}

TEST(Canvas, AntialiasedPointBlendsByAreaAndClips) {
    std::vector<Argb> px(6 * 6, 0xFF000000);
    auto at = [&](int x, int y) { return px[static_cast<size_t>((y + 1) * 6 + x + 1)]; };
    // A 4 x 4 bitmap inside a one-pixel guard frame.
    Argb* inner = px.data() + 6 + 1;
    BlendPointAA(inner, 4, 4, 6, 1.0, 1.0, 0xFFFFFFFF);
    EXPECT_EQ(at(1, 1), 0xFFFFFFFFu);
    BlendPointAA(inner, 4, 4, 6, 2.5, 0.0, 0xFF00FF00);
    EXPECT_EQ(at(2, 0), 0xFF007F00u);  // half of the green each
    EXPECT_EQ(at(3, 0), 0xFF007F00u);
    for (double v : {-1.0, -0.5, 3.5, 4.0, 1e300, -1e300, std::nan("")}) {
        BlendPointAA(inner, 4, 4, 6, v, 2, 0xFFFFFFFF);
        BlendPointAA(inner, 4, 4, 6, 2, v, 0xFFFFFFFF);
        BlendPointAA(inner, 4, 4, 6, v, v, 0xFFFFFFFF);
    }
    for (int i = -1; i <= 4; ++i)
        for (int e : {-1, 4}) {
            EXPECT_EQ(at(i, e), 0xFF000000u) << i << "," << e;
            EXPECT_EQ(at(e, i), 0xFF000000u) << e << "," << i;
        }
    EXPECT_NE(at(0, 2), 0xFF000000u);  // the half of (-0.5, 2) inside the bitmap
}

// A drive with a crafted P-List and zone tables (an empty table list: the
// head's table is missing, the drive refuses it).
DriveContent Crafted(const std::vector<TDefectEntry>& list,
                     const std::vector<std::vector<TZoneEntry>>& zones) {
    DriveContent c = VirtualDrive::SampleContent();
    std::vector<uint8_t> data = test::ListImage(list, true);
    data.erase(data.begin(), data.begin() + 48);
    c.serviceArea.modules[0x33] = MakeRoylModule(0x33, data);
    for (uint16_t h = 0; h < kSampleHeads; ++h)
        c.serviceArea.tables.erase(ServiceArea::TableKey(0x0D, h));
    for (size_t h = 0; h < zones.size(); ++h) {
        if (zones[h].empty()) continue;
        auto t = test::ZoneTable(zones[h], true);
        t.resize((t.size() + 511) / 512 * 512, 0);
        c.serviceArea.tables[ServiceArea::TableKey(0x0D, static_cast<uint16_t>(h))] = t;
    }
    return c;
}

struct Drawn {
    DefectMapReport report;
    RecordingCanvas canvas;
    std::vector<std::string> messages;
};

Drawn View(DriveContent content, const DefectViewOptions& options, int heads = 4,
           bool arcs = true) {
    test::VirtualBench bench(std::move(content));
    Drawn d;
    d.report.wantArcs = arcs;
    ViewDefects(bench.wb, d.canvas, options, heads, &d.report);
    d.messages = bench.host.messageBoxes;
    return d;
}

const std::vector<TZoneEntry> kZones400 = {{0, 999, 1000}, {1000, 1999, 800}, {2000, 2399, 400}};

TEST(DefectView, GeometryKAndSectorAngles) {
    // Sector 0 .. spt/4 of a zone-1 track: from three o'clock clockwise to six.
    const Drawn d = View(Crafted({{1500, 0, 0, 200}}, {kZones400}), {}, 1);
    EXPECT_EQ(d.report.geometry.r0, 300);
    EXPECT_EQ(d.report.geometry.rOuter, 240);
    ASSERT_EQ(d.report.passes.size(), 1u);
    const DefectMapPass& p = d.report.passes[0];
    EXPECT_EQ(p.k, 18);
    EXPECT_EQ(p.scale, 2399u / 240u);
    ASSERT_EQ(p.arcs.size(), 1u);
    EXPECT_EQ(p.arcs[0].a1, 270);
    EXPECT_EQ(p.arcs[0].a2, 360);
    EXPECT_EQ(p.arcs[0].r, 300 - 1500 / 9);
    for (const CanvasOp& op : d.canvas.Of(CanvasOp::Point))
        if (op.color == kHeadColors[0]) {
            EXPECT_GE(op.x, 400 - 0.5);
            EXPECT_GE(op.y, 300 - 0.5);
        }
    // Every zone circle on the last head's pass, then the zone line to the last.
    EXPECT_EQ(p.circles, (std::vector<int>{300, 300 - 999 / 9, 300 - 1999 / 9, 300 - 2399 / 9}));
    EXPECT_EQ(View(Crafted({}, {{{0, 99, 9000}, {100, 199, 7200}}}), {}, 1).report.passes[0].k, 1);
}

TEST(DefectView, OptionsAndHeadBoxesDecideWhatIsDrawn) {
    const std::vector<TDefectEntry> list = {
        {100, 0, 0, 0xFFFF}, {200, 0, 5, 6}, {300, 1, 5, 6}, {400, 9, 5, 6}, {500, 200, 5, 6}};
    const std::vector<std::vector<TZoneEntry>> zones(4, kZones400);
    auto arcsOf = [&](const DefectViewOptions& o) {
        std::vector<size_t> entries;
        for (const DefectMapPass& p : View(Crafted(list, zones), o).report.passes)
            for (const DefectArcCall& a : p.arcs) entries.push_back(a.entry);
        return entries;
    };
    DefectViewOptions o;
    EXPECT_EQ(arcsOf(o), (std::vector<size_t>{1, 2}));  // no whole tracks, no head 9 or 200
    o.showTracks = true;
    EXPECT_EQ(arcsOf(o), (std::vector<size_t>{0, 1, 2}));
    o.showSectors = false;
    EXPECT_EQ(arcsOf(o), (std::vector<size_t>{0}));
    o.showSectors = true;
    o.headChecked[1] = false;
    EXPECT_EQ(arcsOf(o), (std::vector<size_t>{0, 1}));
}

TEST(DefectView, WithoutAntialiasingTracksAreDegreeArcsAndZonesThreeDegreeCircles) {
    DefectViewOptions o;
    o.antialias = false;
    o.showTracks = true;
    o.showZones = false;
    const Drawn d = View(Crafted({{1500, 0, 0, 0xFFFF}}, {kZones400}), o, 1);
    EXPECT_EQ(d.canvas.Count(CanvasOp::LineF, kHeadColors[0]), 361u);  // 0..360 by 1 degree
    // R0 and the first and last zone's circles, 121 lines each, then the zone line.
    EXPECT_EQ(d.canvas.Count(CanvasOp::Line, kZoneColor), 3 * 121u + 1);
    EXPECT_TRUE(d.canvas.Of(CanvasOp::Point).empty());
}

TEST(DefectView, MissingZoneTablesDrawTheEdgeAndWarnOncePerPass) {
    const Drawn d = View(Crafted({{100, 0, 1, 2}, {4800, 1, 0, 0xFFFF}}, {}), {}, 2);
    EXPECT_EQ(d.messages, std::vector<std::string>(2, kZoneMapMissingMessage));
    for (const DefectMapPass& p : d.report.passes) {
        EXPECT_EQ(p.circles, std::vector<int>{300});
        EXPECT_EQ(p.rLast, 300);
        EXPECT_EQ(p.k, 0);
        EXPECT_EQ(p.maxCylinder, 4800u);  // the last entry's cylinder
        EXPECT_EQ(p.scale, 20u);
    }
    // spt 360 without zones: sectors 1..2 with k = 20 are degrees 1..2.
    ASSERT_EQ(d.report.passes[0].arcs.size(), 1u);
    EXPECT_EQ(d.report.passes[0].arcs[0].a1, 358);
    EXPECT_TRUE(d.canvas.Of(CanvasOp::Line).empty());  // no zone line
}

TEST(DefectView, DegenerateTablesNeitherDivideByZeroNorLoop) {
    // Tiny cylinders (a scale of 0), a last zone of 0 sectors (k would never
    // reach 7200), a zone of 0 sectors in the middle, first * k >= 65536, a
    // cylinder far past the table.
    const std::vector<TZoneEntry> zones = {{0, 3, 100}, {4, 5, 0}, {6, 7, 100}, {8, 9, 0}};
    const std::vector<TDefectEntry> list = {
        {5, 0, 1, 2}, {5, 0, 0, 0xFFFF}, {7, 0, 5000, 5001}, {0xFFFFFF, 0, 0, 0xFFFF}};
    DefectViewOptions o;
    o.showTracks = true;
    const Drawn d = View(Crafted(list, {zones}), o, 1);
    const DefectMapPass& p = d.report.passes[0];
    EXPECT_EQ(p.scale, 1u);
    EXPECT_EQ(p.k, 20);  // the 0-sector last zone counts as 360
    // Entry 0 lies in a zone of 0 sectors: no angle, skipped; the whole
    // track of the same cylinder needs none.
    ASSERT_EQ(p.arcs.size(), 3u);
    EXPECT_EQ(p.arcs[0].entry, 1u);
    // p = 100 * 20 / 360 = 5; 5000 * 20 / 5 = 20000 without a 16-bit wrap.
    EXPECT_EQ(p.arcs[1].a1, 360 - 20004);
    EXPECT_EQ(p.arcs[1].a2, 360 - 20000);
    EXPECT_LT(p.arcs[2].r, 0);  // far past the table: off the map, drawn nowhere
    EXPECT_GT(d.canvas.Count(CanvasOp::Point, kHeadColors[0]), 1000u);
    for (const CanvasOp& op : d.canvas.Of(CanvasOp::Point)) {
        EXPECT_TRUE(op.x >= 0 && op.x <= 800) << op.x;  // the edge circle touches the border
        EXPECT_TRUE(op.y >= 0 && op.y <= 600) << op.y;
    }
}

TEST(DefectView, ShiftAsksForFiveZoneMapsAndOneListOverFourHeads) {
    test::VirtualBench bench;
    bench.host.shift = true;
    RecordingCanvas canvas;
    ViewDefects(bench.wb, canvas, {}, 4);
    std::vector<std::string> titles;
    for (const DialogState& s : bench.host.dialogsShown) titles.push_back(s.title);
    EXPECT_EQ(titles,
              (std::vector<std::string>{"Select Zone Map", "Select Defect List", "Select Zone Map",
                                        "Select Zone Map", "Select Zone Map", "Select Zone Map"}));
}

TEST(DefectView, FastPathMatchesTheStraightforwardDrawing) {
    for (bool aa : {true, false}) {
        SCOPED_TRACE(aa);
        DefectViewOptions o;
        o.antialias = aa;
        o.wedges = true;
        const Drawn fast = View(VirtualDrive::SampleContent(), o, 4, false);
        o.straightforward = true;
        const Drawn slow = View(VirtualDrive::SampleContent(), o, 4, false);
        EXPECT_GT(fast.canvas.ops.size(), 100000u);
        EXPECT_TRUE(fast.canvas.ops == slow.canvas.ops);
    }
    // The same pixels when the fast path writes them itself, the points
    // spilling over every edge of a small bitmap included.
    for (const auto& [w, h] : {std::pair{800, 600}, std::pair{301, 97}}) {
        test::VirtualBench a, b;
        test::PixelCanvas direct(w, h, true), onebyone(w, h, false);
        DefectViewOptions o;
        o.showTracks = true;
        ViewDefects(a.wb, direct, o, 4);
        o.straightforward = true;
        ViewDefects(b.wb, onebyone, o, 4);
        EXPECT_TRUE(direct.pixels == onebyone.pixels) << w << "x" << h;
    }
    // Whole tracks and every zone circle, on a list of every kind of entry.
    std::vector<TDefectEntry> list;
    for (uint32_t i = 0; i < 400; ++i)
        list.push_back({i * 6, static_cast<uint8_t>(i % 5), static_cast<uint16_t>(i % 700),
                        static_cast<uint16_t>(i % 3 ? i % 700 + i % 9 : 0xFFFF)});
    const std::vector<std::vector<TZoneEntry>> zones(4, kZones400);
    // Every kind shown; then a head unchecked and only whole tracks shown,
    // which the fast path leaves out before its passes.
    for (bool some : {false, true}) {
        SCOPED_TRACE(some);
        DefectViewOptions o;
        o.showTracks = true;
        o.showSectors = !some;
        o.headChecked[2] = !some;
        const Drawn fast = View(Crafted(list, zones), o, 4, false);
        o.straightforward = true;
        EXPECT_TRUE(fast.canvas.ops == View(Crafted(list, zones), o, 4, false).canvas.ops);
    }
}

}  // namespace
}  // namespace qm
