#include "platform/linux/LinuxPortIo.h"

#include <cerrno>
#include <cstring>

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

LinuxPortIo::LinuxPortIo() = default;
LinuxPortIo::~LinuxPortIo() = default;

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

uint32_t LinuxPortIo::ReadPciConfigDword(uint32_t, uint8_t) {
    return 0xFFFFFFFF;  // configuration reads through libpci come with the PCI scan
}

std::string LinuxPortIo::BoundDriver(uint32_t) const {
    return {};
}

}  // namespace qm
