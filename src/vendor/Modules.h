#pragma once
// Service-area modules and drive tables: reading and writing them through the
// vendor commands, or through files when SHIFT is held.
//
// Module image layout: a ROYL image starts with "ROYL", keeps its header
// length (= offset of the data area) in the u16 at 6 and a u32 checksum at 12;
// an older image has a u8 checksum at 3 and its data at 24.
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct Workbench;

using ModuleImage = std::vector<uint8_t>;

// The largest module the program accepts from a drive: 32768 sectors (16 MiB).
// A drive announcing more is treated as a failed read, never as a request to
// allocate gigabytes.
constexpr uint32_t kMaxModuleSectors = 32768;
// The largest drive table, in sectors (read one sector per command).
constexpr uint32_t kMaxTableSectors = 4096;

bool IsRoylImage(const ModuleImage& image);
// Offset of the data area: the header length of a ROYL image, 24 otherwise.
size_t ModuleDataOffset(const ModuleImage& image);
// Sets the checksum so that the image sums to zero (u32 words for ROYL, bytes
// otherwise). Lets pending messages run while it sums.
void FixModuleChecksum(Workbench& wb, ModuleImage& image);
void FixModuleChecksum(ModuleImage& image);
bool ModuleChecksumValid(const ModuleImage& image);
// "~id" + id in upper-case hex (four digits when the script ROYL flag is set,
// two otherwise) + ".rpm".
std::string DefaultModuleFileName(const Workbench& wb, uint16_t id);

bool ReadModule(Workbench& wb, uint16_t id, ModuleImage& image);
bool WriteModule(Workbench& wb, uint16_t id, const ModuleImage& image);
bool ReadDriveTable(Workbench& wb, uint16_t tableId, uint16_t parameter, ModuleImage& image);

// With SHIFT held these use a file chosen in the main window's open or save
// dialog; file errors throw FileError. Without SHIFT they use the drive; a
// write then goes through WriteModuleSafely, and a write refused or failed
// there is logged with its reason (also given in `message`).
bool ReadModuleOrFile(Workbench& wb, uint16_t id, ModuleImage& image);
bool WriteModuleOrFile(Workbench& wb, uint16_t id, ModuleImage& image,
                       std::string* message = nullptr);

// The SHIFT branch of WriteModuleOrFile: fixes the checksum and saves the
// image to the file chosen in the main window's save dialog (proposed name
// DefaultModuleFileName; afterwards the dialog's filter is "All|*.*" and its
// name cleared). False when the dialog was cancelled; file errors throw.
bool WriteModuleToChosenFile(Workbench& wb, uint16_t id, ModuleImage& image);

// Writes a module only when the image passes CheckModuleImage, its size is
// that of the drive's copy, and the drive's current copy and the image have
// been kept in the module journal. Otherwise the module is not sent and
// `message` says why.
bool WriteModuleSafely(Workbench& wb, uint16_t id, const ModuleImage& image, std::string& message);
// The same without the image checks (the caller made them, or overrode
// them), when the caller has already read the drive's copy (null: it could
// not be read). The size must still match the drive's copy.
bool WriteModuleJournaled(Workbench& wb, uint16_t id, const ModuleImage& image,
                          const ModuleImage* current, std::string& message);

// The module id kept in an image's header: the u16 at 8 of a ROYL image, the
// byte at 4 of an older one.
uint16_t ModuleIdOf(const ModuleImage& image);
// Why an image is not fit to be written as module `id` (empty when it is):
// size, header, id field and checksum.
std::string CheckModuleImage(const ModuleImage& image, uint16_t id);

// Head count from module 0x0A, else from the configuration table (1, 0); 0
// when neither can be read.
uint8_t ReadHeadCount(Workbench& wb);

}  // namespace qm
