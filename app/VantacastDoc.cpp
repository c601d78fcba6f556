#include "VantacastDoc.h"

#include "MainFrame.h"
#include "QtText.h"
#include "StringTable.h"
#include "VantacastView.h"

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
