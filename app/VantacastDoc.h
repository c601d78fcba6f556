#pragma once

#include <QString>

namespace lumivanta {

class CMainFrame;

// The document: no file and no content. It carries the title and starts the
// run once the window exists (welcome line, hotkeys, start-up).
class CvantacastDoc {
 public:
  bool OnNewDocument(CMainFrame& frame);
  const QString& Title() const { return title_; }

 private:
  QString title_;
};

}  // namespace lumivanta
