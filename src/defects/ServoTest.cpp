#include "defects/ServoTest.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "common/Bytes.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/ScopeExit.h"
#include "common/Workbench.h"
#include "defects/DefectList.h"
#include "vendor/Modules.h"
#include "vendor/VendorOps.h"
#include "vendor/Vsc.h"

namespace qm {

const std::array<const char*, kServoOpCount> kServoOpNames = {
    "Wedge Verify",     "Wedge Write Virtual", "Seek",         "Write Track",       "Read Track",
    "Write+Read Track", "Read Sector",         "Write Sector", "Write+Read Sector", "WR-WRRO",
    "RD-WRRO"};

namespace {

// Plot coordinates from 64-bit track and time arithmetic: the canvas clips,
// the conversion must only stay in range.
int Px(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -1'000'000'000, 1'000'000'000));
}

}  // namespace

int32_t ParseServoField(const std::string& text, int32_t def, bool* parsed) {
    long long v = 0;
    const bool ok = ParseFieldNumber(text, v) && v >= std::numeric_limits<int32_t>::min() &&
                    v <= std::numeric_limits<int32_t>::max();
    if (parsed) *parsed = ok;
    return ok ? static_cast<int32_t>(v) : def;
}

int ServoHeadsFromField(const std::string& text) {
    const uint8_t b = static_cast<uint8_t>(ParseServoField(text, 0));
    return std::min<int>(b, kServoMaxHeads);
}

std::string ServoTracksText(uint32_t end) {
    return Format("$%X", end);
}

int ServoOpFromName(const std::string& name) {
    for (int i = 0; i < kServoOpCount; ++i)
        if (name == kServoOpNames[static_cast<size_t>(i)]) return i;
    return -1;
}

int64_t ServoTracksPerPixel(int64_t end, int width) {
    if (width <= 0) return std::max<int64_t>(1, end / 10 + end);
    return std::max<int64_t>(1, (end / 10 + end) / width);
}

void DrawServoGrid(Canvas& canvas, const std::string& tracksField,
                   const std::array<TZoneEntry, kMaxZones>& zones, int zoneCount) {
    const int w = canvas.Width(), h = canvas.Height();
    canvas.Fill(kServoBackground);
    canvas.SetPenColor(kServoGridColor);
    for (int y = h - 20, t = 0; y > 0; y -= 100, t += 100) {
        canvas.TextOut(5, y + 2, Format("%dms", t), kServoGridColor);
        canvas.MoveTo(1, y);
        canvas.LineTo(w - 1, y);
    }
    int64_t end = ParseServoField(tracksField, kServoDefaultEnd);
    if (end == 0) end = kServoDefaultEnd;
    const int64_t q = ServoTracksPerPixel(end, w);
    if (zoneCount < 1) {
        // A line every 10 000 tracks; each label sits by the next line.
        const int64_t s = std::max<int64_t>(1, 10000 / q);
        int64_t k = 10;
        for (int64_t x = 1; x < w; x += s, k += 10) {
            canvas.MoveTo(Px(x), h);
            canvas.LineTo(Px(x), 1);
            canvas.TextOut(Px(x + s + 1), h - 18, Format("%lldk", static_cast<long long>(k)),
                           kServoGridColor);
        }
        return;
    }
    const int z = std::min<int>(zoneCount, static_cast<int>(kMaxZones));
    for (int i = 0; i < z; ++i) {
        const uint32_t e = zones[static_cast<size_t>(i)].end;
        const int x = Px(e / q);
        canvas.MoveTo(x, h);
        canvas.LineTo(x, 1);
        canvas.TextOut(Px(int64_t{x} + 1), h - 18, Format("%uk", e / 1000), kServoGridColor);
    }
}

void DrawServoHeadLabels(Canvas& canvas, int heads) {
    const int n = std::clamp(heads, 0, kServoMaxHeads);
    for (int h = 0; h < n; ++h)
        canvas.TextOut(canvas.Width() - 40, 15 * h + 5, Format("Head %d", h),
                       kServoHeadColors[static_cast<size_t>(h)]);
}

void ClearServoLabelArea(Canvas& canvas) {
    const int w = canvas.Width();
    canvas.SetPenColor(kServoBackground);
    for (int y = 5; y <= 200; ++y) {
        canvas.MoveTo(w - 40, y);
        canvas.LineTo(w, y);
    }
}

bool LoadServoZoneTable(Workbench& wb, uint8_t head, int& zones) {
    const bool royl = wb.defects.roylFormat;
    ModuleImage data;
    // ROYL drives keep one table per head; for older ones the servo test
    // reads (5, 0).
    const bool ok = royl ? ReadDriveTable(wb, 0x0D, head, data) : ReadDriveTable(wb, 5, 0, data);
    if (!ok) return false;
    zones = ParseZoneTable(data.data(), data.size(), royl, wb.defects.zones);
    wb.defects.zoneCount = zones;
    return true;
}

bool ReadServoHeadCount(Workbench& wb, int& heads) {
    ModuleImage table;
    if (!ReadDriveTable(wb, 1, 0, table) || table.size() < 31) return false;
    heads = table[30];
    return true;
}

ServoParams ResolveServoParams(const ServoSettings& s, int width) {
    ServoParams p;
    auto field = [&p](const std::string& text, int32_t def, const char* name) {
        bool ok = false;
        const int32_t v = ParseServoField(text, def, &ok);
        if (!ok) p.defaulted.push_back(name);
        return v;
    };
    const int32_t step = field(s.step, kServoDefaultStep, "Step");
    p.end = field(s.tracks, kServoDefaultEnd, "Tracks");
    p.start = field(s.start, 0, "Start");
    p.timeOut = field(s.timeOut, kServoDefaultTimeOut, "TimeOut");
    p.step = step;
    // The automatic step comes from the end as typed, before the end rule.
    if (p.step == 0) p.step = width > 0 ? p.end / width : p.end;
    // A step below 1 (an end narrower than the plot, a negative field) would
    // never advance.
    if (p.step < 1) p.step = 1;
    p.stepChanged = p.step != step;
    if (p.end == p.start) p.end = kServoDefaultEnd;
    p.heads = field(s.heads, 0, "Heads");
    p.type = s.type;
    p.q = ServoTracksPerPixel(p.end, width);
    return p;
}

bool RunServoTest(Workbench& wb, Canvas& canvas, const ServoSettings& settings,
                  ServoRunState& state, const ServoHooks& hooks, const std::string& wrroPath,
                  ServoRunReport* report) {
    if (state.running) return false;  // GO while a run is going on does nothing
    Host& host = wb.host;
    const int64_t frequency = host.CounterFrequency();
    if (frequency <= 0) return false;  // no high-resolution counter
    // The file first: when it cannot be made, nothing has changed yet.
    AtomicFileWriter wrro;
    wrro.OpenOrThrow(wrroPath);

    ServoRunReport local;
    ServoRunReport& r = report ? *report : local;
    const bool keepOps = r.keepOps;
    r = ServoRunReport{};
    r.keepOps = keepOps;
    r.wrroFile = wrroPath;
    r.width = canvas.Width();
    r.height = canvas.Height();
    r.started = true;

    const int64_t wallStart = host.Counter();
    host.SetTimingPriority(true);
    state.running = true;
    state.stopRequested = false;
    if (hooks.onStarted) hooks.onStarted();
    {
        const ScopeExit cleanup([&] {
            state.running = false;
            host.SetTimingPriority(false);
        });
        const int64_t ticksPerMs = std::max<int64_t>(1, frequency / 1000);
        wb.link.abort = false;
        auto stopped = [&] { return wb.link.Aborted() || state.stopRequested; };

        EnableVsc(wb);
        r.params = ResolveServoParams(settings, canvas.Width());
        ServoParams& p = r.params;
        if (p.stepChanged && hooks.setStepText)
            hooks.setStepText(Format("%lld", static_cast<long long>(p.step)));
        DrawServoHeadLabels(canvas, p.heads);
        // Read Track reads the whole track (count 0), Read Sector one sector.
        const uint16_t count = p.type == kServoReadSector ? 1 : 0;
        const uint8_t op = static_cast<uint8_t>(std::clamp(p.type, 0, 255));
        int64_t end = p.end;
        int y0 = canvas.Height() - 20;
        // Heads beyond the tenth have no box and are never tested.
        const int heads = std::min(p.heads, kServoMaxHeads);
        bool runEnded = false;
        for (int h = 0; h < heads && !stopped() && !runEnded; ++h, y0 -= kServoHeadSpacing) {
            ServoHeadRecord hr;
            hr.head = h;
            hr.y0 = y0;
            if (!settings.headChecked[static_cast<size_t>(h)]) {
                hr.end = end;
                r.heads.push_back(hr);
                continue;
            }
            hr.tested = true;
            const uint8_t head = static_cast<uint8_t>(h);
            if (settings.fromZones && wb.defects.roylFormat) {
                int z = 0;
                if (LoadServoZoneTable(wb, head, z)) {
                    if (hooks.onZoneTable) hooks.onZoneTable(z);
                    // Zone count 0: no last zone to take the end from.
                    if (z > 0) {
                        end = wb.defects.zones[static_cast<size_t>(z - 1)].end;
                        if (hooks.setTracksText)
                            hooks.setTracksText(ServoTracksText(static_cast<uint32_t>(end)));
                    }
                }
            }
            hr.end = end;
            canvas.MoveTo(Px(p.start / p.q), y0);
            // Once at the start track, untimed: the heads get there first.
            ServoOperation(wb, static_cast<uint32_t>(p.start), head, op, ticksPerMs, p.timeOut,
                           count);
            int prevX = 0;
            int64_t prevQ = 0;
            for (int64_t track = p.start; track < end && !stopped(); track += p.step) {
                const int64_t t0 = host.Counter();
                if (stopped()) {
                    runEnded = true;
                    break;
                }
                EnableVsc(wb);
                bool ok = ServoOperation(wb, static_cast<uint32_t>(track), head, op, ticksPerMs,
                                         p.timeOut, count);
                if (stopped()) break;
                const int64_t t1 = host.Counter();
                int64_t elapsed = (t1 - t0) / ticksPerMs;
                if (p.timeOut > 0 && std::llabs(elapsed) > p.timeOut) {
                    ok = false;
                    elapsed = kServoFailedMs;
                }
                ServoOpRecord o;
                o.head = h;
                o.track = track;
                o.x = Px(track / p.q);
                o.ms = elapsed;
                o.ok = ok;
                const int64_t q5 = elapsed / 5;
                if (ok) {
                    canvas.SetPenColor(kServoHeadColors[static_cast<size_t>(h)]);
                    if (p.type == kServoWrWrro) {
                        // The runout value, not the time; every sector goes to the file.
                        o.value = wb.link.Sectors()[18];
                        o.y = y0 - o.value;
                        o.drawn = true;
                        canvas.LineTo(o.x, o.y);
                        wrro.AppendOrThrow(wb.link.Sectors(), 512);
                        ++r.wrroSectors;
                    } else {
                        o.y = Px(y0 - std::llabs(elapsed));
                        o.drawn = o.x != prevX || q5 != prevQ;
                        if (o.drawn) canvas.LineTo(o.x, o.y);
                    }
                } else {
                    canvas.SetPenColor(kServoFailColor);
                    o.y = y0 - kServoFailHeight;
                    o.drawn = !(o.x == prevX && q5 == prevQ);
                    if (o.drawn) {
                        canvas.LineTo(o.x, o.y);
                        canvas.MoveTo(o.x, Px(y0 - prevQ));
                    }
                }
                prevX = o.x;
                prevQ = q5;
                const int64_t absMs = std::llabs(elapsed);
                hr.minMs = hr.operations ? std::min(hr.minMs, absMs) : absMs;
                hr.maxMs = hr.operations ? std::max(hr.maxMs, absMs) : absMs;
                ++hr.operations;
                hr.failed += !ok;
                if (hooks.onOperation) hooks.onOperation(o);
                if (keepOps) hr.ops.push_back(o);
                host.ProcessMessages();
            }
            r.heads.push_back(std::move(hr));
        }
        r.stopped = stopped();
    }
    r.wallMs = (host.Counter() - wallStart) / std::max<int64_t>(1, frequency / 1000);
    wrro.CommitOrThrow();
    return true;
}

}  // namespace qm
