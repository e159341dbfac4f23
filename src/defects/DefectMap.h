#pragma once
// The defect map: one defect list drawn as a plan view of the platters. Every
// defect is an arc whose distance from the centre stands for its cylinder
// (cylinder 0 on the outer edge) and whose angle stands for its sectors on
// the track (running clockwise from three o'clock), coloured by head; zone
// circles and servo wedge spokes are drawn under it. Computed against a
// Canvas, so the window and the command line draw the same pixels.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Canvas.h"
#include "defects/DefectList.h"

namespace qm {

struct Workbench;

constexpr int kMaxMapHeads = 10;
constexpr std::array<Argb, kMaxMapHeads> kHeadColors = {
    0xFF00FF00, 0xFF00FFFF, 0xFFFF0000, 0xFF7F007F, 0xFFFF00FF,
    0xFF007F00, 0xFF0000FF, 0xFF007F7F, 0xFFFFFF00, 0xFFFFFFFF};
constexpr Argb kZoneColor = 0xFF7F7F7F;  // zone circles, the zone line, wedge spokes
inline Argb MapBackground(bool black) {
    return black ? 0xFF000000 : 0xFFFFFFFF;
}
inline Argb MapCaptionColor(bool black) {
    return black ? 0xFFFFFF00 : 0xFF000000;
}
extern const char kZoneMapMissingMessage[];

// The viewer's options (its check boxes and radio buttons).
struct DefectViewOptions {
    DefectListKind list = DefectListKind::PList;
    bool showZones = true;    // "View Zones": every zone circle on the last head's pass
    bool showSectors = true;  // "View Sectors": sector-range defects
    bool showTracks = false;  // "View Tracks": whole-track defects
    bool antialias = true;    // "Antialiasing"
    bool black = true;        // "Black" background
    bool wedges = false;      // "Wedge": servo wedge spokes
    std::array<bool, kMaxMapHeads> headChecked{true, true, true, true, true,
                                               true, true, true, true, true};
    // The straightforward drawing (every entry on every pass, linear zone
    // lookups, whole midpoint traces): the yardstick the fast path must
    // match pixel for pixel.
    bool straightforward = false;
};

// Where the map sits in a W x H bitmap.
struct MapGeometry {
    int width = 0, height = 0;
    int m = 0;       // min(W, H)
    int rOuter = 0;  // radius available to the cylinder range
    int cx = 0, cy = 0;
    int r0 = 0;  // the outer edge: cylinder 0
    static MapGeometry For(int width, int height);
    // Cylinders per pixel for a highest cylinder: at least 1.
    uint32_t ScaleFor(uint32_t maxCylinder) const;
};

// The head count the viewer uses: 10 for 0, never more than 10.
int MapHeadCount(uint8_t headCount);

// "Head h" for h < heads at (W - 40, 15 h + 5) in the head's colour.
void DrawHeadLabels(Canvas& canvas, int heads);
// What Clear leaves: the background and the head labels.
void ClearDefectMap(Canvas& canvas, bool black, int heads);

// The arc primitive. Angles in degrees, counter-clockwise from +x with y
// growing downward. The anti-aliased arc traces the circle with the midpoint
// method and sets each point of the arc with Canvas::PointAA; the trace of
// each radius is kept, so an arc costs only its own points.
class ArcPainter {
  public:
    // Anti-aliased arc: nothing when both angles are 0, the whole circle when
    // a2 - a1 >= 360, else counter-clockwise from a1 to a2 (both reduced into
    // [0, 360), through 0 when a2 < a1). Negative radii draw nothing.
    void Arc(Canvas& canvas, int cx, int cy, int r, double a1, double a2, Argb color);
    // The same arc by the whole trace, testing every point: the reference.
    static void ArcReference(Canvas& canvas, int cx, int cy, int r, double a1, double a2,
                             Argb color);

    // The map's arc between whole-degree angles, straight into the pixels
    // of the canvas (target's colour); what Arc would set, with less work.
    void WholeDegreeArc(const PixelTarget& target, Canvas& canvas, int cx, int cy, int r, int a1,
                        int a2);

  private:
    const std::vector<double>& Trace(int r);
    // Steps whose keys lie in [t1, t2] of octant k of radius r.
    void Run(const PixelTarget& target, int cx, int cy, int r, int k, long long t1, long long t2);
    // From key t1 of octant s to key t2 of the octant after it.
    void Run2(const PixelTarget& target, int cx, int cy, int r, int s, long long t1, long long t2);
    static bool Inside(const PixelTarget& target, int cx, int cy, int r);
    // The key of the point at each whole degree 0..359 of radius r, in the
    // octant of that degree.
    const int32_t* DegreeKeys(int r);
    std::vector<std::vector<double>> traces_;
    std::vector<std::vector<int32_t>> keys_;
};
// Without anti-aliasing: a polyline in the pen colour through the points at
// a1, a1 + 1, ... while the angle <= a2 (nothing when a2 < a1).
void PlainArc(Canvas& canvas, int cx, int cy, int r, double a1, double a2);
// Without anti-aliasing: a whole circle as an integer polyline in 3 degree steps.
void PlainCircle(Canvas& canvas, int cx, int cy, int r);

// What a View drew, for the command line's JSON.
struct DefectArcCall {
    size_t entry = 0;
    int r = 0, a1 = 0, a2 = 0;
};
struct DefectMapPass {
    int head = 0;
    int zones = 0;
    uint32_t maxCylinder = 0, scale = 0;
    int k = 0;                 // 0 when the head has no zone table
    std::vector<int> circles;  // radii, in drawing order
    int rLast = 0;
    std::vector<std::array<int, 4>> spokes;
    std::vector<DefectArcCall> arcs;
};
struct DefectMapReport {
    bool wantArcs = false;  // in: keep every Arc call
    uint32_t entries = 0;   // D, the list header's count
    DefectListHeader list;  // what the list's image said (list.read: there was one)
    uint16_t wedges = 0;
    int heads = 0;
    MapGeometry geometry;
    std::vector<DefectMapPass> passes;
};

// Where a View gets its tables: the drive (or, with SHIFT held, the files the
// user picks) unless told otherwise. The command line gives files here.
struct DefectMapSources {
    std::function<uint32_t(Workbench&, DefectListKind, DefectListHeader*)> list = LoadDefectList;
    std::function<int(Workbench&, uint8_t)> zones = LoadZoneTable;
    std::function<uint16_t(Workbench&)> wedges = ReadWedgeCount;
};

// View: loads head 0's zone table, the wedge count and the chosen defect
// list, then for every head 0..heads-1 loads its zone table and draws its
// zone circles, spokes, the caption (model and serial of the last identify)
// and its defects over what the canvas holds.
void ViewDefects(Workbench& wb, Canvas& canvas, const DefectViewOptions& options, int heads,
                 DefectMapReport* report = nullptr, const DefectMapSources& sources = {});

}  // namespace qm
