#pragma once
// TdlgFind: the find dialog of the module 0x21 editor's hex pane. Created for
// each use; the editor fills it from its find record and reads it back when
// it closes with OK.
#include <QDialog>

#include "module21/FindReplace.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class TdlgFind : public QDialog {
    Q_OBJECT

  public:
    explicit TdlgFind(QWidget* owner = nullptr);

    void SetFields(const FindDialogFields& f);
    FindDialogFields Fields() const;

    QLabel* laFind = nullptr;
    QLineEdit* edFind = nullptr;
    QCheckBox* cbFindText = nullptr;
    QCheckBox* cbIgnoreCase = nullptr;
    QPushButton* btFind = nullptr;
    QPushButton* btCancel = nullptr;

  private:
    void edFindChange();
};

// The check state of a three-state "is text" box and back.
Qt::CheckState CheckStateOf(TextCheck c);
TextCheck TextCheckOf(Qt::CheckState s);

}  // namespace qm
