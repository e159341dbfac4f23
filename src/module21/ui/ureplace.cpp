#include "module21/ui/ureplace.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/AnsiText.h"
#include "module21/ui/ufind.h"

namespace qm {

TdlgReplace::TdlgReplace(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("dlgReplace"));
    setWindowTitle(QStringLiteral("Replace"));
    auto check = [this](const char* name, const char* caption, bool tristate) {
        auto* c = new QCheckBox(QString::fromLatin1(caption), this);
        c->setObjectName(QString::fromLatin1(name));
        c->setTristate(tristate);
        if (tristate) c->setCheckState(Qt::PartiallyChecked);
        return c;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    laFind = new QLabel(QStringLiteral("Enter text or hex data to search for:"), this);
    edFind = new QLineEdit(this);
    edFind->setObjectName(QStringLiteral("edFind"));
    laFind->setBuddy(edFind);
    cbFindText = check("cbFindText", "Find text", true);
    cbIgnoreCase = check("cbIgnoreCase", "Ignore case", false);
    laReplace = new QLabel(QStringLiteral("Enter replacement text or hex data:"), this);
    edReplace = new QLineEdit(this);
    edReplace->setObjectName(QStringLiteral("edReplace"));
    laReplace->setBuddy(edReplace);
    cbIsText = check("cbIsText", "Is text", true);
    btReplace = button("btReplace", "&Replace");
    btReplace->setDefault(true);
    btReplaceAll = button("btReplaceAll", "Replace &All");
    btCancel = button("btCancel", "Cancel");

    auto* grid = new QGridLayout(this);
    grid->addWidget(laFind, 0, 0, 1, 2);
    grid->addWidget(edFind, 1, 0, 1, 2);
    grid->addWidget(cbFindText, 2, 0);
    grid->addWidget(cbIgnoreCase, 2, 1);
    grid->addWidget(laReplace, 3, 0, 1, 2);
    grid->addWidget(edReplace, 4, 0, 1, 2);
    grid->addWidget(cbIsText, 5, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btReplace);
    buttons->addWidget(btReplaceAll);
    buttons->addWidget(btCancel);
    grid->addLayout(buttons, 6, 0, 1, 2);

    connect(edFind, &QLineEdit::textChanged, this, &TdlgReplace::edChange);
    connect(edReplace, &QLineEdit::textChanged, this, &TdlgReplace::edChange);
    connect(btReplace, &QPushButton::clicked, this, [this] {
        replaceAll_ = false;
        accept();
    });
    connect(btReplaceAll, &QPushButton::clicked, this, [this] {
        replaceAll_ = true;
        accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    edChange();
}

void TdlgReplace::edChange() {
    const bool any = !edFind->text().isEmpty();
    btReplace->setEnabled(any);
    btReplaceAll->setEnabled(any);
}

void TdlgReplace::SetFields(const ReplaceDialogFields& f) {
    edFind->setText(FromAnsi(f.findText));
    edReplace->setText(FromAnsi(f.replaceText));
    cbFindText->setCheckState(CheckStateOf(f.findIsText));
    cbIsText->setCheckState(CheckStateOf(f.replaceIsText));
    cbIgnoreCase->setChecked(f.ignoreCase);
    edChange();
}

ReplaceDialogFields TdlgReplace::Fields() const {
    ReplaceDialogFields f;
    f.findText = ToAnsi(edFind->text());
    f.replaceText = ToAnsi(edReplace->text());
    f.findIsText = TextCheckOf(cbFindText->checkState());
    f.replaceIsText = TextCheckOf(cbIsText->checkState());
    f.ignoreCase = cbIgnoreCase->isChecked();
    f.replaceAll = replaceAll_;
    return f;
}

}  // namespace qm
