#include "app/WindowsDeviceChanges.h"

#ifdef _WIN32
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include "app/uMain.h"
#include "platform/windows/DeviceChangeMessage.h"

namespace qm {
namespace {

// Lives as a child of the window: removed from the application and
// unregistered when the window goes.
class DeviceChangeFilter : public QObject, public QAbstractNativeEventFilter {
  public:
    explicit DeviceChangeFilter(TfmMain& form)
        : QObject(&form), form_(&form), window_(reinterpret_cast<void*>(form.winId())) {
        registration_ = platform::RegisterDiskNotifications(window_);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~DeviceChangeFilter() override {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        platform::UnregisterDiskNotifications(registration_);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "windows_generic_MSG") return false;
        const uint32_t code = platform::DeviceChangeCodeOfMessage(message, window_);
        if (code == 0 || !form_) return false;
        // The message is sent, not posted: the list is refilled once the
        // sender is answered.
        QPointer<TfmMain> form = form_;
        QMetaObject::invokeMethod(
            form_,
            [form, code] {
                if (form) form->DeviceChange(code);
            },
            Qt::QueuedConnection);
        return false;
    }

  private:
    QPointer<TfmMain> form_;
    void* window_ = nullptr;
    void* registration_ = nullptr;
};

}  // namespace

void WatchWindowsDeviceChanges(TfmMain& form) {
    new DeviceChangeFilter(form);
}

}  // namespace qm

#else

namespace qm {
void WatchWindowsDeviceChanges(TfmMain&) {}
}  // namespace qm

#endif
