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
#include "defects/ui/uServoTest.h"
#include "defects/ui/uViewDef.h"
#include "smart/ui/uSmart.h"
#include "vendor/VendorOps.h"

namespace qm {

void RegisterFeatureWindows(TfmMain& form) {
    // "Power On Reset Immediate": the command logs its own error line.
    form.features.reset = [](TfmMain& m) { PowerOnResetCommand(m.Bench()); };
    form.features.viewSmart = [](TfmMain& m) {
        m.OpenWindow("FormSmart", [&m] { return new TfmSmart(m.Bench(), &m.Placement(), &m); });
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
