// Where each feature hooks into the main window's command buttons. A
// window-opening feature sets its hook to something like
//
//   form.features.viewSmart = [](TfmMain& m) {
//       m.OpenWindow("FormSmart", [&m] { return new TfmSmart(m); });
//   };
//
// The window takes TfmMain& for the bench (m.Bench()), the placement store
// (m.Placement().Track(*this, "FormSmart")) and the log (m.Log(line)); it
// sets Qt::WA_DeleteOnClose when closing should free it.
#include "app/Features.h"

#include "app/uMain.h"
#include "defects/SurfaceLogReport.h"
#include "defects/ui/uServoTest.h"
#include "defects/ui/uViewDef.h"
#include "gui/ErrorBox.h"
#include "module21/ui/uDrm.h"
#include "platform/Platform.h"
#include "script/ui/uScript.h"
#include "smart/ui/uSmart.h"
#include "vendor/Modules.h"
#include "vendor/VendorOps.h"

namespace qm {

void RegisterFeatureWindows(TfmMain& form) {
    // "Power On Reset Immediate": the command logs its own error line.
    form.features.reset = [](TfmMain& m) { PowerOnResetCommand(m.Bench()); };
    // "Self Scan Log": module 0xE6 and the surface logs into the log pane
    // (CTRL: every surface-log record; SHIFT: each module from a file).
    form.features.ssLog = [](TfmMain& m) {
        Workbench& wb = m.Bench();
        CatchFileErrors(wb.host, [&wb] {
            WriteSelfScanLogReports(
                wb,
                [&wb](uint16_t id, std::vector<uint8_t>& image) {
                    return ReadModuleOrFile(wb, id, image);
                },
                [&wb](const std::string& line) { wb.host.Log(line); });
        });
    };
    // "Edit Script 28": the self-scan script window; its Run follows the
    // step with the program's progress monitor.
    form.features.script = [](TfmMain& m) {
        m.OpenWindow("FormScript",
                     [&m] { return new TfmScript(m.Bench(), &m.Placement(), &m.Progress(), &m); });
    };
    form.features.viewSmart = [](TfmMain& m) {
        m.OpenWindow("FormSmart", [&m] { return new TfmSmart(m.Bench(), &m.Placement(), &m); });
    };
    // "Edit 21 DRM ": the module 0x21 editor only hides when closed, so the
    // same instance (module, lists, find and replace records) comes back.
    form.features.drm = [](TfmMain& m) {
        m.OpenWindow("FormDrm", [&m] {
            return new TfmDrm(m.Bench(), &m.Placement(), &m, platform::OperatingSystemText());
        });
    };
    // "View Defects": the defect viewer, one instance.
    form.features.viewDefects = [](TfmMain& m) {
        m.OpenWindow("FormViewDef", [&m] { return new TfmViewDef(m.Bench(), &m.Placement(), &m); });
    };
    // "Servo Test": the servo test window, one instance.
    form.features.servo = [](TfmMain& m) {
        m.OpenWindow("FormServo", [&m] { return new TfmServoTest(m.Bench(), &m.Placement(), &m); });
    };
}

}  // namespace qm
