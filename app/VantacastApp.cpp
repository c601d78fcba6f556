#include "app/VantacastApp.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

#include "app/MainFrame.h"
#include "app/VantacastView.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/QtText.h"
#include "strings/StringTable.h"

namespace lumivanta {

CvantacastApp::CvantacastApp(std::unique_ptr<GlobalHotkeys> hotkeys, std::unique_ptr<ScreenSource> screen)
    : hotkeys_(std::move(hotkeys)), screen_(std::move(screen)) {}

CvantacastApp::~CvantacastApp() {
  // The normal end saves the settings itself, with the run.
  DisarmSaveAtExit();
}

bool CvantacastApp::InitInstance(const std::function<void(PublishingRun&)>& before_start_up) {
  // Notifications that a crashed run left held back show again.
  notification_hold_.ReleaseLeftover();
  auto frame = std::make_unique<CMainFrame>(*hotkeys_, screen_.get());
  if (!frame->OnCreate()) {
    QMessageBox::critical(nullptr, FromText(Text(ids::kApplicationTitle)),
                          FromText(Text(ids::kFailedToCreateDocument)));
    return false;
  }
  QObject::connect(frame.get(), &CMainFrame::AboutRequested, [this] { OnAppAbout(); });
  QObject::connect(&exit_signals_, &ExitSignals::ExitRequested, &frame->View(), &CvantacastView::EndDialogsForExit);
  frame_ = std::move(frame);
  frame_->View().Run().SetNotificationHold(&notification_hold_);
  if (before_start_up) {
    before_start_up(frame_->View().Run());
  }
  // Everything the document starts (log, hotkeys, wizard, connection test)
  // happens before the window is shown.
  document_.AddView(frame_->View());
  document_.OnNewDocument();
  frame_->SetDocumentTitle(document_.Title());
  PublishingRun& run = frame_->View().Run();
  ArmSaveAtExit([this, &run] {
    run.Settings().Save();
    notification_hold_.Release();
  });
  presence_ = std::make_unique<DesktopPresence>(frame_->View().Run(), notifications_);
  // A signal during the start-up's dialogs came before the main event loop:
  // it ends the program as soon as that loop runs, without showing the window.
  if (exit_signals_.Received()) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
  } else {
    frame_->show();
  }
  return true;
}

void CvantacastApp::OnAppAbout() {
  CAboutDialog about(frame_.get());
  about.exec();
}

}  // namespace lumivanta
