#pragma once
// TdlgReplace: the replace dialog of the module 0x21 editor's hex pane.
// "&Replace" and "Replace &All" both close it with OK; the second also sets
// replace-all.
#include <QDialog>

#include "module21/FindReplace.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class TdlgReplace : public QDialog {
    Q_OBJECT

  public:
    explicit TdlgReplace(QWidget* owner = nullptr);

    void SetFields(const ReplaceDialogFields& f);
    ReplaceDialogFields Fields() const;

    QLabel* laFind = nullptr;
    QLineEdit* edFind = nullptr;
    QCheckBox* cbFindText = nullptr;
    QCheckBox* cbIgnoreCase = nullptr;
    QLabel* laReplace = nullptr;
    QLineEdit* edReplace = nullptr;
    QCheckBox* cbIsText = nullptr;
    QPushButton* btReplace = nullptr;
    QPushButton* btReplaceAll = nullptr;
    QPushButton* btCancel = nullptr;

  private:
    void edChange();
    bool replaceAll_ = false;
};

}  // namespace qm
