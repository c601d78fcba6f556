// The settings sequence (the settings page, then, when the server side
// changed, the delete request for the old address and the connection-test
// page) and the first-run wizard that leads into it.

#include "app/run/PublishingRun.h"
#include "publish/ServerProtocol.h"

namespace lumivanta {

void PublishingRun::RunFirstRunWizard() {
  wizard_open_ = true;
  window_.ShowWelcomePage();
  RunSettingsSequence();
  wizard_open_ = false;
}

void PublishingRun::RunSettingsSequence() {
  dialog_open_ = true;
  bool again = false;
  do {
    again = false;
    CSettings before;
    before.CopyFrom(settings_);
    if (!window_.ShowSettingsPage(settings_)) {
      continue;
    }
    // Confirmed settings are kept at once, not only when the program ends.
    settings_.Save();
    if (!settings_.connected || settings_.upload_address != before.upload_address ||
        settings_.contact_name != before.contact_name) {
      // The delete request goes to the old address: the pictures published so far.
      AskServer(before, [](CSettings& settings, ActivityLog& log, CancelToken* cancel) {
        return DeletePictures(settings, log, cancel);
      });
      settings_.connected = false;
      again = window_.ShowConnectionTestPage(settings_, [this] {
        return AskServer(settings_, [](CSettings& settings, ActivityLog&, CancelToken* cancel) {
          return TestConnection(settings, nullptr, cancel);
        });
      });
    } else if (IsSlideshowRunning() && settings_.refresh_rate_ms != before.refresh_rate_ms) {
      window_.StopSlideshowTimer();
      StartSlideshowTimer();
    }
  } while (again);
  dialog_open_ = false;
}

}  // namespace lumivanta
