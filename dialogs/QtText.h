#pragma once

// Between the program's 8-bit texts (UTF-8 on this platform) and Qt's strings.

#include <QString>
#include <string>
#include <string_view>

namespace lumivanta {

inline QString FromText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToText(const QString& text) { return text.toStdString(); }

// For labels and message boxes, which break lines at LF alone.
inline QString DisplayText(std::string_view text) {
  QString shown = FromText(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace lumivanta
