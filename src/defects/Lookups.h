#pragma once
// The description lookups every feature shares: error texts from Errors.ini,
// test names from ModDescr.ini, and the two name tables built into the
// program (VSC action codes, self-test steps).
//
// Errors.ini   [ERRORS]   "0x" + code in upper-case hex: four digits for the
//                         16-bit status codes ("0x7611"), at least five for
//                         the 32-bit DBS code ("0x01234", "0x12345678").
// ModDescr.ini [Desc]     test id in upper-case hex: two digits up to 0xFF
//                         ("A1"), four above ("2401").
//              [HOST_SEQ] host-sequence id, four upper-case hex digits ("8001").
//              [ARCO]     ARCO operation byte, two upper-case hex digits ("6A").
//
// The files sit in the data folder (Workbench::DataFilesFolder(): the
// program's own folder, or the one given with --data-dir). Each is parsed once and read
// again only when its size or modification time changes. A missing file,
// section or key gives empty text. Every text is code page 1252.
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

struct Workbench;

constexpr const char* kErrorsIni = "Errors.ini";
constexpr const char* kModDescrIni = "ModDescr.ini";

// Path of a data file in the bench's data folder.
std::string DataFilePath(const Workbench& wb, std::string_view name);

std::string ErrorKey(uint16_t code);
std::string ErrorKey5(uint32_t code);
std::string DescKey(uint16_t id);

std::string ErrorText(Workbench& wb, uint16_t code);
std::string ErrorText5(Workbench& wb, uint32_t code);
std::string DescribeTest(Workbench& wb, uint16_t id);
std::string HostSequenceName(Workbench& wb, uint16_t id);
std::string ArcoName(Workbench& wb, uint8_t op);

class IniFile;
// DescribeTest and HostSequenceName for many ids in a row (every step of a
// script): ModDescr.ini is looked up in the bench's cache once, when the
// describer is made, instead of once per id. Use it for one pass and drop it.
class TestDescriber {
  public:
    explicit TestDescriber(Workbench& wb);
    std::string DescribeTest(uint16_t id) const;
    std::string HostSequenceName(uint16_t id) const;

  private:
    const IniFile& modDescr_;
};

// Name of a VSC action code (empty for codes without one).
std::string VscActionName(uint16_t code);
// Whether a PTM id is one of the self-test programs whose steps have names.
bool IsSelfTestPtm(uint16_t ptmId);
// Name of a self-test step; empty unless ptmId is a self-test PTM id and the
// step has a name.
std::string TestStepName(uint16_t ptmId, uint8_t step);

}  // namespace qm
