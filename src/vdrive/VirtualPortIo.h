#pragma once
// The virtual drive behind the port-I/O seam: a register-level ATA channel
// (the drive as master, no slave) on the primary legacy ports, and a PCI
// configuration space holding the legacy IDE controller that owns it.
#include <cstdint>
#include <map>
#include <vector>

#include "drive/PortIo.h"
#include "vdrive/VirtualDrive.h"

namespace qm {

class VirtualAtaChannel {
  public:
    VirtualAtaChannel(VirtualDrive* master, uint16_t base, uint16_t control);

    bool Owns(uint16_t port) const {
        return (port >= base_ && port <= base_ + 7) || port == control_;
    }
    uint8_t ReadByte(uint16_t port);
    uint16_t ReadWord(uint16_t port);
    void WriteByte(uint16_t port, uint8_t value);
    void WriteWord(uint16_t port, uint16_t value);

    // Number of status reads a command shows BSY before it completes.
    int busyPolls = 1;

  private:
    enum class Phase { Idle, DataIn, DataOut };
    bool MasterSelected() const { return (device_ & 0x10) == 0; }
    void StartCommand(uint8_t command);
    void Complete(const AtaReply& reply);
    void Reset();

    VirtualDrive* drive_;
    uint16_t base_, control_;
    // Each of Features..LBA High is a two-deep FIFO: [0] current, [1] previous.
    uint8_t features_[2]{}, count_[2]{}, lbaLow_[2]{}, lbaMid_[2]{}, lbaHigh_[2]{};
    uint8_t device_ = 0xA0;
    uint8_t status_ = kStatusDrdy | kStatusDsc;
    uint8_t error_ = 0x01;
    uint8_t control_reg_ = 0;
    int busyLeft_ = 0;
    Phase phase_ = Phase::Idle;
    TaskFile pending_;
    std::vector<uint8_t> data_;
    size_t dataPos_ = 0;
    AtaReply final_;
};

class VirtualPortIo : public PortIo {
  public:
    // A legacy IDE controller (8086:7111, class 0x0101, programming
    // interface 0x80) at 00:07.1 whose primary channel holds the drive.
    explicit VirtualPortIo(VirtualDrive* drive);

    bool InitializeOls() override { return true; }
    uint8_t ReadIoPortByte(uint16_t port) override;
    uint16_t ReadIoPortWord(uint16_t port) override;
    void WriteIoPortByte(uint16_t port, uint8_t value) override;
    void WriteIoPortWord(uint16_t port, uint16_t value) override;
    uint32_t ReadPciConfigDword(uint32_t address, uint8_t offset) override;

    // Adds a PCI function's 256-byte configuration space (tests build odd machines).
    void SetPciFunction(uint32_t address, const std::vector<uint8_t>& config);
    VirtualAtaChannel& Primary() { return primary_; }

    static constexpr uint32_t kControllerAddress = (0 << 8) | (7 << 3) | 1;

  private:
    VirtualAtaChannel primary_;
    VirtualAtaChannel secondary_;  // empty channel
    std::map<uint32_t, std::vector<uint8_t>> pci_;
};

}  // namespace qm
