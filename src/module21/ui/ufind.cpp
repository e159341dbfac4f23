#include "module21/ui/ufind.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/AnsiText.h"

namespace qm {

Qt::CheckState CheckStateOf(TextCheck c) {
    switch (c) {
        case TextCheck::Checked:
            return Qt::Checked;
        case TextCheck::Unchecked:
            return Qt::Unchecked;
        case TextCheck::Undecided:
            break;
    }
    return Qt::PartiallyChecked;
}

TextCheck TextCheckOf(Qt::CheckState s) {
    if (s == Qt::Checked) return TextCheck::Checked;
    if (s == Qt::Unchecked) return TextCheck::Unchecked;
    return TextCheck::Undecided;
}

TdlgFind::TdlgFind(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("dlgFind"));
    setWindowTitle(QStringLiteral("Find"));
    laFind = new QLabel(QStringLiteral("Enter text or hex data to search for:"), this);
    edFind = new QLineEdit(this);
    edFind->setObjectName(QStringLiteral("edFind"));
    laFind->setBuddy(edFind);
    cbFindText = new QCheckBox(QStringLiteral("Find text"), this);
    cbFindText->setObjectName(QStringLiteral("cbFindText"));
    cbFindText->setTristate(true);
    cbFindText->setCheckState(Qt::PartiallyChecked);
    cbIgnoreCase = new QCheckBox(QStringLiteral("Ignore case"), this);
    cbIgnoreCase->setObjectName(QStringLiteral("cbIgnoreCase"));
    btFind = new QPushButton(QStringLiteral("Find"), this);
    btFind->setObjectName(QStringLiteral("btFind"));
    btFind->setDefault(true);
    btFind->setEnabled(false);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(laFind, 0, 0, 1, 2);
    grid->addWidget(edFind, 1, 0, 1, 2);
    grid->addWidget(cbFindText, 2, 0);
    grid->addWidget(cbIgnoreCase, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btFind);
    buttons->addWidget(btCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);

    connect(edFind, &QLineEdit::textChanged, this, &TdlgFind::edFindChange);
    connect(btFind, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgFind::edFindChange() {
    btFind->setEnabled(!edFind->text().isEmpty());
}

void TdlgFind::SetFields(const FindDialogFields& f) {
    edFind->setText(FromAnsi(f.findText));
    cbFindText->setCheckState(CheckStateOf(f.findIsText));
    cbIgnoreCase->setChecked(f.ignoreCase);
    edFindChange();
}

FindDialogFields TdlgFind::Fields() const {
    FindDialogFields f;
    f.findText = ToAnsi(edFind->text());
    f.findIsText = TextCheckOf(cbFindText->checkState());
    f.ignoreCase = cbIgnoreCase->isChecked();
    return f;
}

}  // namespace qm
