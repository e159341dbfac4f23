#pragma once
namespace qm {
class TfmMain;
// Connects the command buttons to the feature windows and operations built
// into this program (sets TfmMain::features).
void RegisterFeatureWindows(TfmMain& form);
}  // namespace qm
