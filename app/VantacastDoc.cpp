#include "app/VantacastDoc.h"

#include "app/VantacastView.h"
#include "dialogs/QtText.h"
#include "strings/StringTable.h"

namespace lumivanta {

bool CvantacastDoc::OnNewDocument() {
  if (view_ == nullptr) {
    return false;
  }
  title_ = FromText(Text(ids::kDocumentTitle));
  // The welcome line is the log's first text; writing it registers the hotkeys.
  view_->AddLogLine(Text(ids::kWelcome), false);
  view_->StartUp();
  return true;
}

}  // namespace lumivanta
