#include "gui/AnsiText.h"

#include <QFile>

namespace qm {
namespace {

// Bytes 0x80-0x9F of code page 1252; 0 marks the five unassigned bytes, which
// map to the C1 control of the same value (as Windows does).
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

QString FromAnsi(const std::string& text) {
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c <= 0x9F && kHigh[c - 0x80])
            s.append(QChar(kHigh[c - 0x80]));
        else
            s.append(QChar(c));
    }
    return s;
}

std::string ToAnsi(const QString& text) {
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    for (QChar qc : text) {
        const char16_t u = qc.unicode();
        char out = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out = static_cast<char>(u);
        } else {
            for (int i = 0; i < 32; ++i)
                if (kHigh[i] ? kHigh[i] == u : u == 0x80 + i) out = static_cast<char>(0x80 + i);
        }
        s.push_back(out);
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
