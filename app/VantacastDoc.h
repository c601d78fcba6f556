#pragma once

#include <QString>

namespace lumivanta {

class CvantacastView;

// The document: no file and no content. It carries the title and starts the
// run once its view exists (welcome line, hotkeys, start-up).
class CvantacastDoc {
 public:
  // The view that shows this document; the document starts the run in it.
  void AddView(CvantacastView& view) { view_ = &view; }
  // False without a view.
  bool OnNewDocument();
  const QString& Title() const { return title_; }

 private:
  CvantacastView* view_ = nullptr;
  QString title_;
};

}  // namespace lumivanta
