#pragma once
// TfmSmart: the S.M.A.R.T. window. Reads the standard attributes when it is
// shown (and on "Refresh"), lists them with colours, copies them or writes
// them to the main log, and reports the verdict in the log and the caption.
#include <QWidget>
#include <string>
#include <vector>

#include "smart/SmartData.h"

class QAction;
class QMenu;
class QTableWidget;

namespace qm {

struct Workbench;
class FormPlacement;

class TfmSmart : public QWidget {
    Q_OBJECT

  public:
    // With a placement store the window comes back where it was last time
    // ("FormSmart"); without one it opens centred at 726 × 448.
    explicit TfmSmart(Workbench& wb, FormPlacement* placement = nullptr, QWidget* parent = nullptr);
    ~TfmSmart() override;

    // The rows as listed (code page 1252 texts).
    const std::vector<SmartRow>& Rows() const { return rows_; }
    // True while a read or an export runs (they let messages run meanwhile).
    bool Busy() const { return busy_ > 0; }

    QTableWidget* lvSmart = nullptr;
    QMenu* pmSmart = nullptr;
    QAction* miRefresh = nullptr;
    QAction* miCopy = nullptr;
    QAction* miToLog = nullptr;
    QAction* miLogRAWOnly = nullptr;

    static constexpr int kWidth = 726;
    static constexpr int kHeight = 448;

  public slots:
    void FormShow();
    void ReadSmart();
    void Refresh1Click();
    void miCopyClick();
    void miToLogClick();
    void miLogRAWOnlyClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormClose();
    void ClearList();
    void AddRow(const SmartRow& row);
    // The export lines of the listed rows; false when the abort flag cut them short.
    bool ExportText(bool rawOnly, std::string& text);
    void LogExport(bool rawOnly);
    // Runs when a read or an export has returned: a close that came in
    // meanwhile frees the window now, a Refresh that came in reads again.
    void OperationDone();

    Workbench& wb_;
    std::vector<SmartRow> rows_;
    int busy_ = 0;
    bool closing_ = false;
    bool readPending_ = false;
};

}  // namespace qm
