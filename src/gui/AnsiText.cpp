#include "gui/AnsiText.h"

#include <QFile>

#include "common/Cp1252.h"

namespace qm {

QString FromAnsi(const std::string& text) {
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) s.append(QChar(Cp1252ToUnicode(static_cast<uint8_t>(ch))));
    return s;
}

std::string ToAnsi(const QString& text) {
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (QChar qc : text) {
        const int b = UnicodeToCp1252(qc.unicode());
        s.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return s;
}

std::string ToLocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString FromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace qm
