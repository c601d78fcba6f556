#pragma once

// The two ways a viewer link leaves the program: the clipboard, and the
// desktop's browser. Offered by the information dialog and the tray menu.

#include <QString>
#include <string>

namespace lumivanta {

inline constexpr const char* kCopyViewerLinkText = "&Copy viewer link";
inline constexpr const char* kOpenViewerText = "&Open viewer in browser";

// Puts the link on the clipboard, and into the selection where the desktop has one.
void CopyViewerLink(const std::string& link);

// Opens the link in the desktop's web browser; false when none could be started.
bool OpenViewerLink(const std::string& link);

}  // namespace lumivanta
