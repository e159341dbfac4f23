#pragma once
// The virtual drive as a Linux disk node, seen from the ioctl side: SG_IO
// requests go through a SCSI/ATA translation layer as libata answers them,
// the HDIO_* calls the way libata maps them onto ATA PASS-THROUGH, and the
// block-device size calls. The preload library puts this behind a file
// descriptor; tests drive it directly. Not thread-safe: the caller
// serialises the calls.
#include <cstdint>
#include <memory>
#include <string>

#include "vdrive/Sat.h"
#include "vdrive/VirtualDrive.h"

struct sg_io_hdr;

namespace qm::peer {

// The node names the device answers to: our own, and a SCSI-disk name so
// that tools which pick the device type from the name treat it as a disk.
constexpr const char* kNodePath = "/dev/qmvd0";
constexpr const char* kAliasPath = "/dev/sdqv";
bool IsDevicePath(const char* path);

// Where the drive comes from and where its state and the trace go
// (QMVD_VDRIVE, QMVD_STATE, QMVD_LOG).
struct Settings {
    std::string vdrive;  // drive folder; empty: the sample drive
    std::string state;   // folder the drive is kept in between processes; empty: none
    std::string log;     // trace file; empty: none
    static Settings FromEnvironment();
};

class PeerDevice {
  public:
    PeerDevice();
    ~PeerDevice();

    // Builds the drive (from the state folder when it holds one, else from
    // the settings' folder or the sample drive). False with the reason.
    bool Start(const Settings& settings, std::string& error);

    // One ioctl on the open node. Returns -1 with errno set, like the call.
    int Ioctl(unsigned long request, void* arg);

    VirtualDrive& Drive() { return *drive_; }
    sat::SatDevice& Sat() { return *sat_; }
    // Trace lines also go here when set (tests).
    std::string* traceSink = nullptr;

  private:
    int SgIo(sg_io_hdr* hdr);
    int DriveCmd(uint8_t* args);
    int DriveTask(uint8_t* args);
    int GetIdentity(uint8_t* out);
    // A command block as SG_IO runs it, on flat buffers.
    struct Exchange {
        const uint8_t* cdb = nullptr;
        size_t cdbLength = 0;
        bool toDevice = false, fromDevice = false;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        uint32_t timeoutMs = 0;
        // Out:
        uint8_t status = 0;
        uint16_t hostStatus = 0;
        std::vector<uint8_t> sense;
        uint32_t transferred = 0;
        std::string note;  // for the trace: the ATA registers in and out
    };
    // Returns 0 or an errno value for a call the device refuses outright.
    int Run(Exchange& x);
    void RunPassThrough(Exchange& x);
    void RunScsi(Exchange& x);
    void Inquiry(Exchange& x);
    void Reply(Exchange& x, const std::vector<uint8_t>& data);
    void CheckCondition(Exchange& x, uint8_t key, uint8_t asc, uint8_t ascq);
    // State folder: load or create it; write the idle timer back.
    bool OpenState(const Settings& s, DriveContent& content, std::string& error);
    void SaveState();
    int LockState();
    void Trace(const std::string& line);

    std::unique_ptr<VirtualDrive> drive_;
    std::unique_ptr<sat::SatDevice> sat_;
    std::string state_;
    uint8_t savedIdleTimer_ = 0;
    int logFd_ = -1;
};

}  // namespace qm::peer
