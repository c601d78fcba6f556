#include "strings/StringTable.h"

#include <algorithm>
#include <array>

namespace lumivanta {
namespace {

struct Entry {
  unsigned id;
  std::string_view text;
};

// Sorted by number. Command texts hold a prompt and, after "\n", the toolbar tip.
constexpr std::array kTable{
    Entry{ids::kMainTitle, "Lumivanta"},
    Entry{ids::kWelcome, "Welcome to Lumivanta!"},
    Entry{ids::kSlideshowStarted, "Slideshow started."},
    Entry{ids::kSlideshowStopped, "Slideshow stopped."},
    Entry{ids::kConnectionTested, "Connection to Web-Server was tested successfully."},
    Entry{ids::kConnectionFailed,
          "Connection to Web-Server failed.\r\nPlease check your program and firewall settings! "},
    Entry{ids::kDocumentTitle, "Your computer screen live on the internet!"},
    Entry{ids::kPublicWebAddress, "http://localhost:8080/"},
    Entry{ids::kPicturesDeleted, "Pictures deleted successfully."},
    Entry{ids::kCommandDeletePictures, "Delete published pictures\nDelete published pictures"},
    Entry{ids::kColumnCommand, "Command:"},
    Entry{ids::kColumnHotkey, "Hotkey:"},
    Entry{ids::kKeyPublish, "CTRL+P"},
    Entry{ids::kKeySlideshow, "CTRL+S"},
    Entry{ids::kKeyMouseCursor, "CTRL+M"},
    Entry{ids::kKeyOptions, "CTRL+O"},
    Entry{ids::kKeyDelete, "CTRL+D"},
    Entry{ids::kHotkeyTextDelete, "Delete published pictures"},
    Entry{ids::kHotkeyTextOptions, "Show options and settings"},
    Entry{ids::kHotkeyTextMouseCursor, "Show/hide mouse cursor"},
    Entry{ids::kHotkeyTextSlideshow, "Start/stop slideshow"},
    Entry{ids::kHotkeyTextPublish, "Publish current screen"},
    Entry{ids::kKeyRestore, "CTRL+R"},
    Entry{ids::kHotkeyTextRestore, "Restore/show Lumivanta"},
    Entry{ids::kSizeOriginal, "Original size"},
    Entry{ids::kTipPictureSize,
          "Set the size of the target image. The current size will be reduced to the size "
          "defined here. The aspect ratio will be preserved."},
    Entry{ids::kFailureCause, "Cause: "},
    Entry{ids::kUploadFailed, "Upload failed: "},
    Entry{ids::kUploadsWorkAgain, "Pictures are uploaded again."},
    Entry{ids::kPictureDropped, "Picture not sent: the last one is still being uploaded."},
    Entry{ids::kHotkeyHeldElsewhere, "Another program holds this hotkey; it does nothing here: "},
    Entry{ids::kGlobalHotkeysOn, "Global hotkeys are on."},
    Entry{ids::kGlobalHotkeysOff, "Global hotkeys are off: other programs receive Ctrl+P, S, M, O, D and R."},
    Entry{ids::kCaptureUnavailable, "The screen cannot be captured on this desktop: "},
    Entry{ids::kNothingCaptured, "Nothing was captured: no picture was published."},
    Entry{ids::kHotkeysUnavailable,
          "Global hotkeys are not available on this desktop: bind a key of the desktop to a command line "
          "such as lumivanta --publish."},
    Entry{ids::kPointerUnavailable, "The mouse pointer cannot be shown in the pictures on this desktop."},
    Entry{ids::kTrayNotOnAir, "Lumivanta: not on air"},
    Entry{ids::kTraySlideshowOnAir, "Lumivanta: slideshow on air"},
    Entry{ids::kTrayPictureOnAir, "Lumivanta: one picture sent"},
    Entry{ids::kTrayContactName, "Contact name: "},
    Entry{ids::kTrayCounts, "Since the slideshow started: #1 sent, #2 failed"},
    Entry{ids::kTrayLastUpload, "Last successful upload: #1 ago"},
    Entry{ids::kTrayNoUploadYet, "No successful upload yet"},
    Entry{ids::kNoticeUploadsFailSummary, "Lumivanta: pictures do not reach the server"},
    Entry{ids::kNoticeUploadsWorkSummary, "Lumivanta: pictures reach the server again"},
    Entry{ids::kNoticeStillOnAirSummary, "Lumivanta: your screen is still on the web"},
    Entry{ids::kNoticeStillOnAirBody,
          "The slideshow has been sending your screen for an hour. Stop it with Ctrl+S, "
          "lumivanta --slideshow or the tray icon's menu."},
    Entry{ids::kNotificationHoldOn, "Notifications are held back while the screen is on the web."},
    Entry{ids::kNotificationHoldOff, "Notifications are no longer held back: pop-ups may appear in the pictures."},
    Entry{ids::kNotificationHoldUnavailable,
          "Notifications cannot be held back on this desktop: pop-ups may appear in the pictures."},
    Entry{ids::kTrayUploadsFail, "Uploads fail: the pictures do not reach the server"},
    Entry{ids::kCommandSlideshow,
          "Start/stop slideshow (automatic screen transmission)\n"
          "Start/stop slideshow (automatic screen transmission)"},
    Entry{ids::kCommandShowMouseCursor, "Show mouse cursor\nShow mouse cursor"},
    Entry{ids::kCommandOptions, "Show settings\nShow and change settings"},
    Entry{ids::kCommandPublish, "Send current screen content\nSend current screen content"},
    Entry{ids::kMessageCaption, "Lumivanta: Information"},
    Entry{ids::kViewerAddressTemplate,
          "To view the pictures, call up the following web address\r\n"
          "and enter your contact name:\r\n\r\nWeb address:\r\n#2\r\nContact name:\r\n#1"},
    Entry{ids::kDefaultServerUrl, "http://localhost:8080/"},
    Entry{ids::kQualityCompressed, "Compressed: für normale Internet-Verbindungen"},
    Entry{ids::kQualityNormal, "Normal: für Breitband-Verbindungen"},
    Entry{ids::kQualityHigh, "High: für Slideshows"},
    Entry{ids::kPictureSent, "Picture sent."},
    Entry{ids::kTipNext, "Save and use current settings."},
    Entry{ids::kTipCancel, "Ignore changes and shut the window."},
    Entry{ids::kTipUseDefaults, "Overwrite the current settings with the default values."},
    Entry{ids::kTipServerUrl, "Enter the web address of the Lumivanta-Server here."},
    Entry{ids::kTipContactName,
          "Allowed characters: [a-z][A-Z][0-9][-_]\n"
          "Enter a unique name for the session here.\n"
          "You need to comunicate this name to your contacts, so that they will be able to view "
          "your pictures on the internet."},
    Entry{ids::kTipRefreshRate,
          "Enter the refresh rate in millseconds here.\n"
          "This value defines how often the pictures in a slideshow will be sent."},
    Entry{ids::kTipPictureQuality,
          "The quality of the pictures is defined here. The better the quality, the larger the "
          "image file. This affects the bandwidth and refresh rate."},
    Entry{ids::kCommandGlobalHotkeys, "Turn the global hotkeys on or off\nGlobal hotkeys on/off"},
    Entry{ids::kCommandNotificationHold,
          "Hold back the desktop's notifications while the screen is on the web\nNotification hold on/off"},
    Entry{ids::kApplicationTitle, "Lumivanta"},
    Entry{ids::kCommandAbout, "Display program information, version number and copyright\nInfo"},
    Entry{ids::kCommandExit, "Exits the program.\nExit"},
    Entry{ids::kFailedToCreateDocument, "Failed to create empty document."},
};

constexpr bool IsStrictlySorted() {
  for (std::size_t i = 1; i < kTable.size(); ++i) {
    if (kTable[i - 1].id >= kTable[i].id) {
      return false;
    }
  }
  return true;
}
static_assert(IsStrictlySorted(), "the string table must be sorted by number, without repeats");

}  // namespace

std::optional<std::string_view> LoadText(unsigned id) {
  const auto* found = std::lower_bound(kTable.begin(), kTable.end(), id,
                                       [](const Entry& entry, unsigned key) { return entry.id < key; });
  if (found == kTable.end() || found->id != id) {
    return std::nullopt;
  }
  return found->text;
}

std::string_view Text(unsigned id) { return LoadText(id).value_or(std::string_view{}); }

}  // namespace lumivanta
