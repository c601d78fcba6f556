// The settings sequence (the settings page, then, when the server side
// changed, the delete request for the old address and the connection-test
// page) and the first-run wizard that leads into it.

#include "app/VantacastView.h"
#include "dialogs/ConnectionTestDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/WelcomeDialog.h"

namespace lumivanta {

void CvantacastView::RunFirstRunWizard() {
  CWelcomeDialog welcome(DialogParent());
  welcome.exec();
  RunSettingsSequence();
}

void CvantacastView::RunSettingsSequence() {
  dialog_open_ = true;
  bool again = false;
  do {
    again = false;
    CSettings before;
    before.CopyFrom(settings_);
    CSettingsDialog settings_page(settings_, DialogParent());
    if (settings_page.exec() != CSettingsDialog::kNext) {
      continue;
    }
    if (!settings_.connected || settings_.upload_address != before.upload_address ||
        settings_.contact_name != before.contact_name) {
      CSettings after;
      after.CopyFrom(settings_);
      // The delete request goes to the old address: the pictures published so far.
      settings_.CopyFrom(before);
      DeletePictures(settings_, *this);
      settings_.CopyFrom(after);
      settings_.connected = false;
      CConnectionTestDialog test_page(
          settings_, [this] { return TestConnection(settings_); }, DialogParent());
      again = test_page.exec() == CConnectionTestDialog::kBack;
    } else if (slideshow_timer_id_ != 0 && settings_.refresh_rate_ms != before.refresh_rate_ms) {
      StopSlideshowTimer();
      StartSlideshowTimer();
    }
  } while (again);
  dialog_open_ = false;
}

}  // namespace lumivanta
