#include "app/VantacastDoc.h"

#include "app/MainFrame.h"
#include "app/VantacastView.h"
#include "dialogs/QtText.h"
#include "strings/StringTable.h"

namespace lumivanta {

bool CvantacastDoc::OnNewDocument(CMainFrame& frame) {
  title_ = FromText(Text(ids::kDocumentTitle));
  frame.SetDocumentTitle(title_);
  CvantacastView& view = frame.View();
  // The welcome line is the log's first text; writing it registers the hotkeys.
  view.AddLogLine(Text(ids::kWelcome), false);
  view.StartUp();
  return true;
}

}  // namespace lumivanta
