#pragma once
// All process-wide state of the program, owned by whoever runs it (the GUI's
// main, the command line, a test). Nothing mutable is global.
#include <string>
#include <vector>

#include "common/Host.h"
#include "common/Ini.h"
#include "defects/DefectTables.h"
#include "drive/DriveLink.h"
#include "drive/DriveTables.h"

namespace qm {

class PortIo;
class DeviceIo;
class DriveEnumerator;

// Model, firmware and serial from the last identify, already made safe for
// use in file names.
struct DriveIdentity {
    std::string model, firmware, serial;
};

struct SharedFlags {
    // Whether the last parsed script module had the ROYL layout; true at start.
    bool scriptRoyl = true;
    // Drive family code read by the module-based generator; 0 at start.
    uint16_t familyCode = 0;
};

struct Workbench {
    explicit Workbench(Host& h) : host(h) {}
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    Host& host;
    // The seams; not owned. A null seam behaves as an absent backend.
    PortIo* portIo = nullptr;
    DeviceIo* deviceIo = nullptr;
    DriveEnumerator* enumerator = nullptr;
    bool portIoReady = false;  // InitializeOls succeeded

    DriveLink link;
    DriveIdentity identity;
    SharedFlags flags;
    // ROYL-format flag, zone table and defect list of the defect tools.
    DefectTables defects;

    // Selection tables of the main window.
    std::vector<PCIDevDesc> controllers;  // at most kMaxPciChannels
    DriveTable drives;
    int driveCount = 0;

    // The main window's open and save dialogs, which features set, run and reset.
    DialogState openDialog, saveDialog;

    // Folder of the program file.
    std::string programFolder;
    // Folder given with --data-dir, else where the installed program keeps its
    // data files (the programs fill it in); empty: next to the program.
    std::string dataFilesFolder;
    // Where the data files (Errors.ini, ModDescr.ini, SCRIPTS.INI, pcidevs.ini,
    // pci.ini) are looked for.
    const std::string& DataFilesFolder() const {
        return dataFilesFolder.empty() ? programFolder : dataFilesFolder;
    }
    // The data files parsed so far (Errors.ini, ModDescr.ini, ...), each read
    // again only when it changes on disk.
    IniCache dataFiles;
    // Per-user folder for what the program keeps (the module journal).
    std::string dataFolder;
};

}  // namespace qm
