#pragma once
// Vendor actions that act on the drive directly: the power-on reset and the
// head-positioning and media operations the servo test times.
#include <cstdint>
#include <string>

namespace qm {

struct Workbench;

// EnableVsc, then the reset key (0x1C, p). Reports nothing itself.
void PowerOnReset(Workbench& wb, uint16_t p);
// The main window's "Power On Reset Immediate": reset, wait 3 s, read the
// status; logs "Power On Reset Immediate - ERROR:XXXX" when the word is not 0.
// True when the status word is 0.
bool PowerOnResetCommand(Workbench& wb);

// The key-sector write with a time limit: a drive that does not finish within
// `limit` units (counter ticks / divisor) is reset instead of waited for, and
// 0xFFFC is left as the vendor status word. Returns the returned value.
uint32_t TimedKeyCommand(Workbench& wb, const uint16_t (&words)[8], int64_t divisor, int32_t limit);
// One servo test step (ops 0-10). True when the vendor status word is 0 and
// no abort was raised.
bool ServoOperation(Workbench& wb, uint32_t cylinder, uint8_t head, uint8_t op, int64_t divisor,
                    int32_t limit, uint16_t count);
bool SettleRequest(Workbench& wb, uint32_t cylinder, uint16_t head, uint16_t w7);
bool Reposition(Workbench& wb, uint32_t cylinder, uint16_t head, uint16_t w4);
bool ReadServoResult(Workbench& wb, uint16_t which);

// The idle3 timer (the head-parking timer of these drives), action 0x2A with
// one data sector whose byte 0 holds the value: 0 = off, 1..128 tenths of a
// second, 129..255 (value - 128) x 30 seconds.
bool ReadIdle3Timer(Workbench& wb, uint8_t& value);
bool WriteIdle3Timer(Workbench& wb, uint8_t value);
// "disabled", "8.0 s", "30 min" ...
std::string Idle3TimerText(uint8_t value);

}  // namespace qm
