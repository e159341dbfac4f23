#pragma once
// The core keeps its text as single-byte ANSI (code page 1252); these convert
// at the edge of the windows.
#include <QString>
#include <string>

namespace qm {

QString FromAnsi(const std::string& text);
// Characters without a code-page-1252 byte become '?'.
std::string ToAnsi(const QString& text);
// File names go to the C library in the system's own encoding.
std::string ToLocalPath(const QString& path);
QString FromLocalPath(const std::string& path);

}  // namespace qm
