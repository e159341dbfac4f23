#pragma once
// The servo test: one media operation after another across the tracks of
// each chosen head, each timed with the host's high-resolution counter and
// plotted as a line, so slow or failing regions of the servo system show as
// spikes. For WR-WRRO the plot shows the runout value the drive returns, and
// each returned sector goes to a file. Grid, labels and plot are drawn
// against a Canvas; the window and the command line run the same code.
//
// Plot: time runs up from a base line per head (head h at H - 20 - 80 h),
// one pixel a millisecond; tracks run to the right, q tracks a pixel.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Canvas.h"
#include "defects/DefectTables.h"

namespace qm {

struct Workbench;

constexpr int kServoOpCount = 11;
// The operation list; the index is the operation passed to the drive.
extern const std::array<const char*, kServoOpCount> kServoOpNames;
constexpr int kServoSeek = 2, kServoReadTrack = 4, kServoReadSector = 6, kServoWrWrro = 9;

constexpr int kServoMaxHeads = 10;
// Heads 8 and 9 repeat the colours of heads 0 and 1.
constexpr std::array<Argb, kServoMaxHeads> kServoHeadColors = {
    0xFF00FF00, 0xFF00FFFF, 0xFFFF0000, 0xFF7F007F, 0xFFFF00FF,
    0xFF007F00, 0xFF0000FF, 0xFF007F7F, 0xFF00FF00, 0xFF00FFFF};
constexpr Argb kServoBackground = 0xFF000000;
constexpr Argb kServoGridColor = 0xFF7F7F7F;  // grid lines and their labels
constexpr Argb kServoFailColor = 0xFFFFFF00;  // failed or timed-out operations

// Field defaults.
constexpr int32_t kServoDefaultEnd = 100000;
constexpr int32_t kServoDefaultStep = 100;
constexpr int32_t kServoDefaultTimeOut = 0;  // the edit starts at "100"
constexpr int32_t kServoFailedMs = 100;      // the time of an operation that timed out
constexpr int kServoFailHeight = 70;         // height of a failure spike
constexpr int kServoHeadSpacing = 80;        // between two heads' base lines

// An edit field as a number: decimal, or hexadecimal after "$"; text that
// does not parse (or lies outside the 32-bit range) gives the default.
// `parsed` tells which happened.
int32_t ParseServoField(const std::string& text, int32_t def, bool* parsed = nullptr);
// The head count of the Heads field: its value taken as a byte, at most 10.
int ServoHeadsFromField(const std::string& text);
// "$186A0": how an end track read from a zone table is shown.
std::string ServoTracksText(uint32_t end);
// The operation for a list text ("Read Track"), or -1.
int ServoOpFromName(const std::string& name);

// Tracks per pixel for an end track on a plot `width` pixels wide: at least 1.
int64_t ServoTracksPerPixel(int64_t end, int width);

// The grid on a cleared (black) bitmap: a line and "0ms", "100ms", ... every
// 100 pixels up from H - 20; track lines and "k" labels every 10 000 tracks
// (no zone table) or at each zone's end. `tracksField` is the Tracks edit's
// text; the zones are zones[0..zoneCount-1].
void DrawServoGrid(Canvas& canvas, const std::string& tracksField,
                   const std::array<TZoneEntry, kMaxZones>& zones, int zoneCount);
// "Head h" at (W - 40, 15 h + 5) in the head's colour, for h below
// min(heads, 10).
void DrawServoHeadLabels(Canvas& canvas, int heads);
// Blacks out the labels' corner (from x = W - 40, y = 5 to the right edge, y = 200).
void ClearServoLabelArea(Canvas& canvas);

// Reads the zone table the servo test uses for a head: drive table (0x0D,
// head) when the ROYL-format flag is set, else (5, 0), parsed in the flag's
// layout into the bench's zone table. False when the read failed (the table
// is then left as it was); `zones` gets Z otherwise.
bool LoadServoZoneTable(Workbench& wb, uint8_t head, int& zones);
// The head count of drive table (1, 0) (its byte 30); false when the table
// cannot be read or is too short.
bool ReadServoHeadCount(Workbench& wb, int& heads);

// What the window's controls hold when GO is pressed.
struct ServoSettings {
    std::string start = "0", tracks, step = "0", heads, timeOut = "100";
    int type = kServoReadTrack;
    bool fromZones = false;  // "Z": each head's end track from its zone table
    std::array<bool, kServoMaxHeads> headChecked{true, true, true, true, true,
                                                 true, true, true, true, true};
};

// The parameters of a run after the field defaults and the step and end rules.
struct ServoParams {
    int64_t start = 0, end = 0, step = 0;
    int32_t timeOut = 0;
    int heads = 0;
    int type = kServoReadTrack;
    int64_t q = 1;                       // tracks per pixel
    bool stepChanged = false;            // the step the run uses differs from the field
    std::vector<std::string> defaulted;  // fields that did not parse ("Step", ...)
};
// Reads the fields as GO does: step (default 100), end (100 000), start (0),
// time-out (0); step 0 becomes end div W, then an end equal to the start
// becomes 100 000; heads (0); q from the end. The step is at least 1.
ServoParams ResolveServoParams(const ServoSettings& settings, int width);

// One timed operation.
struct ServoOpRecord {
    int head = 0;
    int64_t track = 0;
    int x = 0;
    int64_t ms = 0;  // after the time-out rule
    bool ok = false;
    bool drawn = false;  // a line went to (x, y)
    int y = 0;
    int value = -1;  // WR-WRRO: the plotted runout value
};
struct ServoHeadRecord {
    int head = 0;
    bool tested = false;
    int y0 = 0;
    int64_t end = 0;  // the end track used for this head
    int operations = 0, failed = 0;
    int64_t minMs = 0, maxMs = 0;
    std::vector<ServoOpRecord> ops;  // only when the report keeps them
};
struct ServoRunReport {
    bool keepOps = false;  // in: keep every operation
    ServoParams params;
    int width = 0, height = 0;
    std::vector<ServoHeadRecord> heads;
    std::string wrroFile;
    uint64_t wrroSectors = 0;
    bool started = false;
    bool stopped = false;
    int64_t wallMs = 0;
};

// What the run shares with the window around it.
struct ServoRunState {
    bool running = false;
    // Set by STOP and by closing the window. Unlike the transport abort flag
    // it survives a soft reset of the channel, so a stop is never lost.
    bool stopRequested = false;
};

struct ServoHooks {
    // The run has begun (the file is made, the counter is there): GO reads "STOP".
    std::function<void()> onStarted;
    // The run writes the step it computed and each head's end track back to
    // the Step and Tracks fields.
    std::function<void(const std::string&)> setStepText, setTracksText;
    // After each timed operation (before the messages are let run).
    std::function<void(const ServoOpRecord&)> onOperation;
    // Head h's zone table was read for the run: the window's Z is now `zones`.
    std::function<void(int zones)> onZoneTable;
};

// The run of GO. Creates `wrroPath` first: when it cannot be created, a
// FileError is thrown and nothing else happens. Without a high-resolution
// counter nothing happens (returns false). Otherwise raises the timing
// priority, runs every checked head (the first operation of a head untimed),
// draws onto the canvas, and on every way out restores the priority, clears
// state.running and puts wrro.bin in place (one 512-byte sector per
// successful WR-WRRO operation; a failure to store it is a FileError after
// the cleanup). Returns true when the run started; report->stopped tells
// whether STOP, a close or an abort ended it. Does nothing while a run is
// going on (state.running).
bool RunServoTest(Workbench& wb, Canvas& canvas, const ServoSettings& settings,
                  ServoRunState& state, const ServoHooks& hooks, const std::string& wrroPath,
                  ServoRunReport* report = nullptr);

}  // namespace qm
