#include "platform/linux/LinuxPortIo.h"

extern "C" {
#include <pci/pci.h>
}

#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define QM_HAVE_PORT_IO 1
#else
#define QM_HAVE_PORT_IO 0
#endif

namespace qm {

std::string PortIoFailureText(int err) {
    std::string text = std::strerror(err);
    if (err == EPERM)
        text += ": run as root or grant CAP_SYS_RAWIO (setcap cap_sys_rawio+ep)";
    else if (err == ENOSYS)
        text += ": this kernel or machine offers no port I/O (virtual machine or container?)";
    return text;
}

namespace {

// libpci reports a fatal error through a callback that must not return (its
// default prints and calls exit()). Every libpci call runs inside
// GuardedPciCall, which leaves a jump target for the callback: the error
// unwinds back to the caller as a failed call, with libpci's message. The
// pointer is set only for the duration of one call on this thread. (The GNU
// attribute, not [[noreturn]]: clang keeps it in the type libpci declares.)
struct PciJump {
    std::jmp_buf target;
    char message[256];
};
thread_local PciJump* tPciJump = nullptr;

__attribute__((noreturn)) void PciFatal(char* fmt, ...) {
    PciJump* jump = tPciJump;
    if (!jump) std::abort();  // every libpci call is guarded; never reached
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(jump->message, sizeof jump->message, fmt, args);
    va_end(args);
    std::longjmp(jump->target, 1);
}

void PciQuiet(char*, ...) {}

// Runs fn(arg) (plain C calls into libpci, no C++ objects on the way) and
// returns false with the message when libpci gave up.
bool GuardedPciCall(void (*fn)(void*), void* arg, std::string& error) {
    PciJump jump{};
    PciJump* const outer = tPciJump;
    tPciJump = &jump;
    if (setjmp(jump.target) == 0) {
        fn(arg);
        tPciJump = outer;
        return true;
    }
    tPciJump = outer;
    error = jump.message;
    return false;
}

struct OpenArgs {
    pci_access* acc;
    const char* dump;
    char* name;
};

void OpenPciAccess(void* p) {
    auto* a = static_cast<OpenArgs*>(p);
    if (a->dump) {
        a->acc->method = PCI_ACCESS_DUMP;
        char param[] = "dump.name";
        pci_set_param(a->acc, param, a->name);
    }
    pci_init(a->acc);
    pci_scan_bus(a->acc);
}

struct ReadArgs {
    pci_dev* dev;
    int offset;
    uint32_t value;
};

void ReadLong(void* p) {
    auto* a = static_cast<ReadArgs*>(p);
    a->value = pci_read_long(a->dev, a->offset);
}

void CleanupPci(void* p) {
    pci_cleanup(static_cast<pci_access*>(p));
}

}  // namespace

LinuxPortIo::LinuxPortIo(std::string pciDumpFile) : pciDump_(std::move(pciDumpFile)) {}

LinuxPortIo::~LinuxPortIo() {
    if (pci_) {
        std::string ignored;
        GuardedPciCall(CleanupPci, pci_, ignored);
    }
}

bool LinuxPortIo::OpenPci() {
    if (pciTried_) return pciUsable_;
    pciTried_ = true;
    if (!pciDump_.empty() && access(pciDump_.c_str(), R_OK) != 0) {
        pciError_ = "cannot read " + pciDump_ + ": " + std::strerror(errno);
        return false;
    }
    pci_ = pci_alloc();
    if (!pci_) {
        pciError_ = "libpci could not allocate its state";
        return false;
    }
    pci_->error = PciFatal;
    pci_->warning = PciQuiet;
    pci_->debug = PciQuiet;
    std::string name = pciDump_;
    OpenArgs args{pci_, pciDump_.empty() ? nullptr : pciDump_.c_str(), name.data()};
    if (!GuardedPciCall(OpenPciAccess, &args, pciError_)) return false;
    for (pci_dev* d = pci_->devices; d; d = d->next)
        if (d->domain == 0 && d->dev < 32 && d->func < 8)
            devices_[(static_cast<uint32_t>(d->bus) << 8) | (d->dev << 3) | d->func] = d;
    pciUsable_ = true;
    return true;
}

bool LinuxPortIo::InitializeOls() {
#if QM_HAVE_PORT_IO
    if (iopl(3) == 0) {
        portsGranted_ = true;
        reason_.clear();
        return true;
    }
    reason_ = PortIoFailureText(errno);
#else
    reason_ = "port I/O exists only on x86 machines";
#endif
    return false;
}

// Without granted ports every read floats high and writes go nowhere, as on
// an empty bus; an unguarded IN would kill the process with SIGSEGV.
uint8_t LinuxPortIo::ReadIoPortByte(uint16_t port) {
#if QM_HAVE_PORT_IO
    if (portsGranted_) return inb(port);
#endif
    (void)port;
    return 0xFF;
}

uint16_t LinuxPortIo::ReadIoPortWord(uint16_t port) {
#if QM_HAVE_PORT_IO
    if (portsGranted_) return inw(port);
#endif
    (void)port;
    return 0xFFFF;
}

void LinuxPortIo::WriteIoPortByte(uint16_t port, uint8_t value) {
#if QM_HAVE_PORT_IO
    if (portsGranted_) outb(value, port);
#endif
    (void)port;
    (void)value;
}

void LinuxPortIo::WriteIoPortWord(uint16_t port, uint16_t value) {
#if QM_HAVE_PORT_IO
    if (portsGranted_) outw(value, port);
#endif
    (void)port;
    (void)value;
}

// A function libpci does not list reads as all ones, as an empty slot does
// on the bus. Without port I/O every live configuration read fails, as it
// does without the port-I/O library: the scan then lists no channel that
// could not be driven anyway. A dump is a recording and is always read.
uint32_t LinuxPortIo::ReadPciConfigDword(uint32_t address, uint8_t offset) {
    if (pciDump_.empty() && !portsGranted_) return 0xFFFFFFFF;
    if (!OpenPci()) return 0xFFFFFFFF;
    const auto it = devices_.find(address & 0xFFFF);
    if (it == devices_.end()) return 0xFFFFFFFF;
    ReadArgs args{it->second, offset & 0xFC, 0xFFFFFFFF};
    if (!GuardedPciCall(ReadLong, &args, pciError_)) return 0xFFFFFFFF;
    return args.value;
}

std::string LinuxPortIo::BoundDriver(uint32_t address) const {
    if (!pciDump_.empty()) return {};  // a dump says nothing about this system's drivers
    char name[32];
    std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", (address >> 8) & 0xFF,
                  (address >> 3) & 0x1F, address & 0x07);
    std::error_code ec;
    const std::filesystem::path link =
        std::filesystem::read_symlink(std::filesystem::path(sysfsRoot_) / name / "driver", ec);
    if (ec) return {};
    return link.filename().string();
}

}  // namespace qm
