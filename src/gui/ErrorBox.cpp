#include "gui/ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace qm {

void ShowErrorBox(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QCoreApplication::applicationName(), text);
}

}  // namespace qm
