#include "vdrive/VirtualPortIo.h"

#include "common/Bytes.h"

namespace qm {

VirtualAtaChannel::VirtualAtaChannel(VirtualDrive* master, uint16_t base, uint16_t control)
    : drive_(master), base_(base), control_(control) {
    Reset();
}

void VirtualAtaChannel::Reset() {
    // Power-on/reset signature of an ATA device.
    count_[0] = lbaLow_[0] = 1;
    lbaMid_[0] = lbaHigh_[0] = 0;
    error_ = 0x01;  // diagnostic code: no error
    status_ = kStatusDrdy | kStatusDsc;
    phase_ = Phase::Idle;
    busyLeft_ = 0;
    data_.clear();
    dataPos_ = 0;
}

uint8_t VirtualAtaChannel::ReadByte(uint16_t port) {
    if (!drive_ || port == control_ || drive_->Removed())
        return 0xFF;  // nothing on the bus; Device Control is write-only
    const int reg = port - base_;
    const int hob = (control_reg_ & 0x80) ? 1 : 0;
    switch (reg) {
        case 1:
            return error_;
        case 2:
            return count_[hob];
        case 3:
            return lbaLow_[hob];
        case 4:
            return lbaMid_[hob];
        case 5:
            return lbaHigh_[hob];
        case 6:
            return device_;
        case 7:
            if (!MasterSelected()) return 0x00;  // no slave: the master answers with 0
            if (control_reg_ & 0x04) return kStatusBsy;
            if (drive_->BusyFor() > 0) return kStatusBsy;  // an operation or a restart runs
            if (busyLeft_ > 0) {
                --busyLeft_;
                return kStatusBsy;
            }
            return status_;
        default:
            return static_cast<uint8_t>(ReadWord(port));
    }
}

uint16_t VirtualAtaChannel::ReadWord(uint16_t port) {
    if (!drive_ || drive_->Removed()) return 0xFFFF;
    if (port != base_) return ReadByte(port);
    if (phase_ != Phase::DataIn || busyLeft_ > 0) return 0xFFFF;
    const uint16_t v = static_cast<uint16_t>(data_[dataPos_] | (data_[dataPos_ + 1] << 8));
    dataPos_ += 2;
    if (dataPos_ >= data_.size()) {
        phase_ = Phase::Idle;
        status_ = final_.status;
        error_ = final_.error;
        data_.clear();
    }
    return v;
}

void VirtualAtaChannel::WriteByte(uint16_t port, uint8_t value) {
    if (!drive_) return;
    if (port == control_) {
        const bool wasReset = control_reg_ & 0x04;
        control_reg_ = value;
        if (wasReset && !(value & 0x04)) {  // SRST released
            Reset();
            drive_->SoftReset();
        }
        return;
    }
    auto push = [value](uint8_t(&fifo)[2]) {
        fifo[1] = fifo[0];
        fifo[0] = value;
    };
    switch (port - base_) {
        case 0:
            WriteWord(port, value);
            break;
        case 1:
            push(features_);
            break;
        case 2:
            push(count_);
            break;
        case 3:
            push(lbaLow_);
            break;
        case 4:
            push(lbaMid_);
            break;
        case 5:
            push(lbaHigh_);
            break;
        case 6:
            device_ = value;
            break;
        case 7:
            // A busy drive does not take commands.
            if (MasterSelected() && !(control_reg_ & 0x04) && drive_->BusyFor() == 0)
                StartCommand(value);
            break;
        default:
            break;
    }
    if (port - base_ >= 1 && port - base_ <= 5)
        control_reg_ &= 0x7F;  // a register write clears HOB
}

void VirtualAtaChannel::WriteWord(uint16_t port, uint16_t value) {
    if (!drive_) return;
    if (port != base_) {
        WriteByte(port, static_cast<uint8_t>(value));
        return;
    }
    if (phase_ != Phase::DataOut || busyLeft_ > 0) return;
    data_[dataPos_] = static_cast<uint8_t>(value);
    data_[dataPos_ + 1] = static_cast<uint8_t>(value >> 8);
    dataPos_ += 2;
    if (dataPos_ >= data_.size()) {
        phase_ = Phase::Idle;
        const AtaReply reply = drive_->Execute(pending_, data_);
        data_.clear();
        Complete(reply);
    }
}

void VirtualAtaChannel::StartCommand(uint8_t command) {
    TaskFile tf;
    tf.features = features_[0];
    tf.sectorCount = count_[0];
    tf.lbaLow = lbaLow_[0];
    tf.lbaMid = lbaMid_[0];
    tf.lbaHigh = lbaHigh_[0];
    tf.device = device_;
    tf.command = command;
    tf.prevFeatures = features_[1];
    tf.prevSectorCount = count_[1];
    tf.prevLbaLow = lbaLow_[1];
    tf.prevLbaMid = lbaMid_[1];
    tf.prevLbaHigh = lbaHigh_[1];
    busyLeft_ = busyPolls;
    data_.clear();
    dataPos_ = 0;
    if (const uint32_t out = drive_->DataOutSectors(tf)) {
        pending_ = tf;
        phase_ = Phase::DataOut;
        data_.assign(static_cast<size_t>(out) * 512, 0);
        status_ = kStatusDrdy | kStatusDsc | kStatusDrq;
        error_ = 0;
        return;
    }
    Complete(drive_->Execute(tf));
}

void VirtualAtaChannel::Complete(const AtaReply& reply) {
    count_[0] = reply.regs.sectorCount;
    lbaLow_[0] = reply.regs.lbaLow;
    lbaMid_[0] = reply.regs.lbaMid;
    lbaHigh_[0] = reply.regs.lbaHigh;
    if (!reply.Failed() && !reply.data.empty()) {
        final_ = reply;
        final_.data.clear();
        data_ = reply.data;
        dataPos_ = 0;
        phase_ = Phase::DataIn;
        status_ = kStatusDrdy | kStatusDsc | kStatusDrq;
        error_ = 0;
        return;
    }
    phase_ = Phase::Idle;
    status_ = reply.status;
    error_ = reply.error;
}

namespace {

std::vector<uint8_t> ConfigSpace(uint16_t vendor, uint16_t device, uint32_t classCode,
                                 uint8_t headerType) {
    std::vector<uint8_t> c(256, 0);
    PutU16(c.data(), vendor);
    PutU16(c.data() + 2, device);
    PutU16(c.data() + 4, 0x0005);                 // I/O space and bus master enabled
    PutU32(c.data() + 8, classCode << 8 | 0x01);  // class, subclass, prog-if; revision 1
    c[0x0E] = headerType;
    return c;
}

}  // namespace

VirtualPortIo::VirtualPortIo(VirtualDrive* drive)
    : primary_(drive, 0x1F0, 0x3F6), secondary_(nullptr, 0x170, 0x376) {
    pci_[0x0000] = ConfigSpace(0x8086, 0x7190, 0x060000, 0x00);        // host bridge
    pci_[(7 << 3) | 0] = ConfigSpace(0x8086, 0x7110, 0x060100, 0x80);  // ISA bridge, multi-function
    std::vector<uint8_t> ide = ConfigSpace(0x8086, 0x7111, 0x010180, 0x00);
    PutU32(ide.data() + 0x20, 0xF001);  // bus-master block
    pci_[kControllerAddress] = ide;
}

uint8_t VirtualPortIo::ReadIoPortByte(uint16_t port) {
    if (primary_.Owns(port)) return primary_.ReadByte(port);
    if (secondary_.Owns(port)) return secondary_.ReadByte(port);
    return 0xFF;
}

uint16_t VirtualPortIo::ReadIoPortWord(uint16_t port) {
    if (primary_.Owns(port)) return primary_.ReadWord(port);
    if (secondary_.Owns(port)) return secondary_.ReadWord(port);
    return 0xFFFF;
}

void VirtualPortIo::WriteIoPortByte(uint16_t port, uint8_t value) {
    if (primary_.Owns(port)) primary_.WriteByte(port, value);
}

void VirtualPortIo::WriteIoPortWord(uint16_t port, uint16_t value) {
    if (primary_.Owns(port)) primary_.WriteWord(port, value);
}

uint32_t VirtualPortIo::ReadPciConfigDword(uint32_t address, uint8_t offset) {
    const auto it = pci_.find(address & 0xFFFF);
    if (it == pci_.end()) return 0xFFFFFFFF;
    return GetU32(it->second.data() + (offset & 0xFC));
}

void VirtualPortIo::SetPciFunction(uint32_t address, const std::vector<uint8_t>& config) {
    std::vector<uint8_t> c = config;
    c.resize(256, 0);
    pci_[address & 0xFFFF] = c;
}

}  // namespace qm
