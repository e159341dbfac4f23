#pragma once
// TfmDrm: the module 0x21 editor. Reads module 0x21, shows its sections and
// subsections in a hex pane with find and replace, decodes the S.M.A.R.T.
// attribute section into a list with a hide check box and a 12-byte entry
// pane, saves or loads a section, and writes the module back (to a file with
// SHIFT). Closing only hides the window: the module, the lists and the find
// and replace records stay until the program ends.
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "common/Host.h"
#include "module21/Drm21.h"
#include "module21/FindReplace.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;

namespace qm {

struct Workbench;
class FormPlacement;
class HexView;

class TfmDrm : public QWidget {
    Q_OBJECT

  public:
    // With a placement store the window comes back where it was last time
    // ("FormDrm"); osText is the operating system's name for the about box.
    explicit TfmDrm(Workbench& wb, FormPlacement* placement = nullptr, QWidget* parent = nullptr,
                    std::string osText = {});
    ~TfmDrm() override;

    static constexpr int kWidth = 837;
    static constexpr int kHeight = 685;

    // The module image as it is now (attribute edits are in it at once; hex
    // pane edits only after "Write").
    const std::vector<uint8_t>& Image() const { return image_; }
    // An attribute table is decoded and check-box and entry edits reach the image.
    bool Loaded() const { return loaded_; }
    // The slot of each list row.
    const std::vector<DrmAttribute>& Rows() const { return rows_; }
    const FindRecord& Find() const { return find_; }
    const ReplaceRecord& Replace() const { return replace_; }
    // The window's own open and save dialogs (Load From... and Save As...).
    DialogState& OpenDialog() { return openDialog_; }
    DialogState& SaveDialog() { return saveDialog_; }

    // The modal dialogs; tests replace them (nothing modal may open there).
    // Each returns true for OK with the fields filled in.
    std::function<bool(FindDialogFields&)> runFindDialog;
    std::function<bool(ReplaceDialogFields&)> runReplaceDialog;
    std::function<void()> runAboutBox;

    // Components.
    QTabWidget* pcDrm = nullptr;
    QWidget* tsHex = nullptr;
    QWidget* tsAttributes = nullptr;
    HexView* heData = nullptr;
    QComboBox* cbSections = nullptr;
    QComboBox* cbSub = nullptr;
    QMenu* pmHex = nullptr;
    QAction* miHexCopy = nullptr;
    QAction* miPaste = nullptr;
    QAction* acEditFind = nullptr;
    QAction* acEditFindNext = nullptr;
    QAction* acEditReplace = nullptr;
    QAction* acFileSaveAs = nullptr;
    QAction* miLoadFrom = nullptr;
    QTableWidget* SmartList = nullptr;
    QMenu* pmSmart = nullptr;
    QAction* miCopy = nullptr;
    QAction* miHexValue = nullptr;
    QAction* miAbout = nullptr;
    QSplitter* splitter = nullptr;
    HexView* heAtt = nullptr;
    QLabel* laAtt = nullptr;
    QLabel* la1 = nullptr;
    QPushButton* btOpen2 = nullptr;
    QPushButton* btSave2 = nullptr;

  public slots:
    void btOpen2Click();
    void btSave2Click();
    void OpenHex();
    void cbSectionsChange();
    void cbSubChange();
    void OpenAtt();
    void SmartListChange();
    void heAttChange();
    void miCopyClick();
    void miHexValueClick();
    void acFileSaveAsExecute();
    void miLoadFromClick();
    void miAboutClick();
    void acEditFindExecute();
    void acEditFindNextExecute();
    void acEditReplaceExecute();
    // A file dropped on the window replaces the module image.
    void WMDropFiles(const QString& path);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildHexTab();
    void BuildAttributesTab();
    void AlignEntryRuler();
    // Caption and status label from the image's directory; fills dir_.
    void ParseDirectory();
    void ShowEmptyView(const QString& status);
    void LoadView(const DrmView& view);
    // Puts bytes the attribute view changed into the hex pane when its view
    // covers them, so that "Write" never copies older bytes back over them.
    void PatchPane(size_t imageOffset, size_t length);
    void SmartListItemChanged(QTableWidgetItem* item);
    void FillEntryPane(int row);
    void LogProblems(const std::vector<std::string>& problems);
    void ReportSearch(const SearchResult& r);
    std::string ProposedSectionFile() const;

    Workbench& wb_;
    std::string osText_;
    std::vector<uint8_t> image_;
    // An image was read or dropped successfully and still matches the lists;
    // false after a failed read (nothing may be written then).
    bool imageValid_ = false;
    DrmDirectory dir_;
    DrmSectionInfo section_;
    DrmAttributeTable table_;
    std::vector<DrmAttribute> rows_;
    std::vector<bool> checked_;  // the check state each row was given or last had
    DrmView view_;
    bool viewValid_ = false;
    bool loaded_ = false;
    bool filling_ = false;  // the list or the entry pane is being filled by the program
    int busy_ = 0;
    bool hexRadix_ = true;
    FindRecord find_;
    ReplaceRecord replace_;
    DialogState openDialog_, saveDialog_;
};

}  // namespace qm
