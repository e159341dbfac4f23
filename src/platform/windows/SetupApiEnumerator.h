#pragma once
// Physical-drive enumeration through the device-setup library (setupapi.dll),
// loaded once at construction from the system folder. Enumeration is only
// offered when all seven entry points were found.
#include <memory>

#include "drive/DriveTables.h"

namespace qm {

struct SetupApiLibrary;

class SetupApiEnumerator : public DriveEnumerator {
  public:
    SetupApiEnumerator();
    ~SetupApiEnumerator() override;
    SetupApiEnumerator(const SetupApiEnumerator&) = delete;
    SetupApiEnumerator& operator=(const SetupApiEnumerator&) = delete;

    int EnumerateDrives(DriveTable& table) override;

  private:
    std::unique_ptr<SetupApiLibrary> lib_;
};

}  // namespace qm
