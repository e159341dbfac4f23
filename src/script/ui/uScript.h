#pragma once
// TfmScript, "Self Scan Script": reads the self-scan script module (0x28 or
// an alternative table 0x3B..0x3F), lists its steps, edits them (insert,
// delete, move, gotos, logs, upgrade, raw bytes in the hex pane), keeps named
// tests per drive family in SCRIPTS.INI, writes the module back and runs a
// single step while the progress monitor follows it.
//
// The list is a view on the editor's steps through a model, so a script of
// any length costs no widget per row.
#include <QAbstractTableModel>
#include <QIcon>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "script/ScriptEditor.h"
#include "script/ScriptGenerators.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;

namespace qm {

struct Workbench;
class FormPlacement;
class HexView;
class ProgressMonitor;

// The step list as the view sees it: "ID" (caption and status icon) and
// "Description", each row in the colour of its test id.
class ScriptListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit ScriptListModel(ScriptEditor& editor, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The steps changed in any way: the view asks again.
    void Reset();
    void RowChanged(int row);
    // The image list: 1 passed, 2 failed, 3 not run.
    const QIcon& Icon(int index) const { return icons_[static_cast<size_t>(index)]; }

  private:
    ScriptEditor& editor_;
    std::array<QIcon, 4> icons_;
};

class TfmScript : public QWidget {
    Q_OBJECT

  public:
    // With a placement store the window comes back where it was
    // ("FormScript"); without one it opens centred. The progress monitor is
    // the program's one (null: Run shows no monitor and does not wait).
    TfmScript(Workbench& wb, FormPlacement* placement, ProgressMonitor* progress,
              QWidget* parent = nullptr);
    ~TfmScript() override;

    ScriptEditor& Editor() { return editor_; }
    ScriptListModel* Model() { return model_; }
    // True while Run waits for its step.
    bool Running() const { return running_; }
    // True while a module read or write runs (they let messages run).
    bool Busy() const { return busy_ > 0; }

    static constexpr int kMinWidth = 550;
    static constexpr int kMinHeight = 400;

    // Components.
    QComboBox* cbModId = nullptr;
    QCheckBox* cbStep = nullptr;
    QComboBox* cbFamily = nullptr;
    QComboBox* cbCustom = nullptr;
    QLineEdit* edStatus = nullptr;
    QTableView* lvScript = nullptr;
    HexView* heScript = nullptr;
    QPushButton *btRead = nullptr, *btWrite = nullptr, *btDown = nullptr, *btUp = nullptr,
                *btTrx = nullptr, *btRun = nullptr, *btWriteToIni = nullptr;
    QMenu* pmScript = nullptr;
    QMenu* pmHex = nullptr;
    // pmScript, in menu order; "Import from INI" is always disabled.
    QAction *miArco = nullptr, *miFromE6 = nullptr, *miFromPtm = nullptr, *miFromDir = nullptr,
            *miUpgrade = nullptr, *miClearStepLog = nullptr, *miClearScriptLog = nullptr,
            *miGoodStep = nullptr, *miErrorToEnd = nullptr, *miErrorToStop = nullptr,
            *miInsert = nullptr, *miDelete = nullptr, *miClear = nullptr, *miImportIni = nullptr,
            *miExportIni = nullptr, *miExportTrx = nullptr;
    QAction *miCopy = nullptr, *miPaste = nullptr;

  public slots:
    void FormShow();
    void btReadClick();
    void btWriteClick();
    void btDownClick();
    void btUpClick();
    void btRunClick();
    void btWriteToIniClick();
    void cbFamilyChange(const QString& text);
    void Upgrade1Click();
    void ClearCurrentStepLog1Click();
    void ClearScriptLog1Click();
    void SetGoodStep1Click();
    void SetErrorStepEnd1Click();
    void SetErrorStepStop1Click();
    void Insert1Click();
    void Delete1Click();
    void Clear1Click();
    void CreateArcoScript1Click();
    void CreateScriptFromE61Click();
    void CreateScriptFromPtm1Click();
    void CreateScriptFromDir1Click();
    // Export to INI / Export to TRX (also "to TREX").
    void ExporttoINI1Click();
    void ExporttoTRX1Click();
    // A file dropped on the window (a module image or a text script).
    void DropFile(const QString& path);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void lvScriptChange(int row);
    // Runs a generator (its module reads let messages run), then shows the list.
    void Generate(ScriptGenerator kind);
    void heScriptChange();
    // The list shows the editor's steps again, the editor's selection is
    // selected and scrolled to, the pane shows its record.
    void Refresh();
    void ShowSelected();
    void FillFamilies(const QString& keep);
    void FillTests(const QString& family);
    void Message(const std::string& text);
    // Ends a read or write: true when the window was closed meanwhile (it
    // then goes, and the caller touches nothing more).
    bool EndOperation();
    // Runs a command of the editor that may touch files (the standard error
    // box shows a file error), then refreshes.
    template <class Body>
    void Command(Body&& body);

    Workbench& wb_;
    ProgressMonitor* progress_;
    ScriptEditor editor_;
    ScriptListModel* model_ = nullptr;
    bool refreshing_ = false;
    bool loading_ = false;
    bool filling_ = false;
    int busy_ = 0;  // a module read or write lets messages run
    bool running_ = false;
    bool closing_ = false;
};

}  // namespace qm
