#pragma once

// The program's numbered texts: the log's lines and the messages, the command
// prompts with their toolbar tips, the hotkeys and what they do, the settings'
// tips and lists, the tray icon's tooltip and the notifications. Code that
// shows one of them takes it from here by number, so that it has one
// spelling. Texts without a number stay with the code that shows them: the
// menu captions (the command table), the dialogs' labels and buttons, and
// the command line's usage and answers.

#include <optional>
#include <string_view>

namespace lumivanta {

namespace ids {
inline constexpr unsigned kMainTitle = 128;  // frame title text
inline constexpr unsigned kWelcome = 129;    // first log line
inline constexpr unsigned kSlideshowStarted = 130;
inline constexpr unsigned kSlideshowStopped = 131;
inline constexpr unsigned kConnectionTested = 133;
inline constexpr unsigned kConnectionFailed = 134;
inline constexpr unsigned kDocumentTitle = 142;
inline constexpr unsigned kPublicWebAddress = 143;
inline constexpr unsigned kPicturesDeleted = 144;
inline constexpr unsigned kCommandDeletePictures = 148;
inline constexpr unsigned kColumnCommand = 150;
inline constexpr unsigned kColumnHotkey = 151;
inline constexpr unsigned kKeyPublish = 152;
inline constexpr unsigned kKeySlideshow = 153;
inline constexpr unsigned kKeyMouseCursor = 154;
inline constexpr unsigned kKeyOptions = 155;
inline constexpr unsigned kKeyDelete = 156;
inline constexpr unsigned kHotkeyTextDelete = 157;
inline constexpr unsigned kHotkeyTextOptions = 158;
inline constexpr unsigned kHotkeyTextMouseCursor = 159;
inline constexpr unsigned kHotkeyTextSlideshow = 160;
inline constexpr unsigned kHotkeyTextPublish = 161;
inline constexpr unsigned kKeyRestore = 162;
inline constexpr unsigned kHotkeyTextRestore = 163;
inline constexpr unsigned kSizeOriginal = 164;
inline constexpr unsigned kTipPictureSize = 165;
inline constexpr unsigned kFailureCause = 166;  // prefix of a failure's cause
inline constexpr unsigned kUploadFailed = 167;  // prefix, followed by the cause
inline constexpr unsigned kUploadsWorkAgain = 168;
inline constexpr unsigned kPictureDropped = 169;
inline constexpr unsigned kHotkeyHeldElsewhere = 170;  // prefix, followed by the key text
inline constexpr unsigned kGlobalHotkeysOn = 171;
inline constexpr unsigned kGlobalHotkeysOff = 172;
inline constexpr unsigned kCaptureUnavailable = 173;  // prefix, followed by the cause
inline constexpr unsigned kNothingCaptured = 174;
inline constexpr unsigned kHotkeysUnavailable = 175;
inline constexpr unsigned kPointerUnavailable = 176;
// The tray icon's tooltip, line by line.
inline constexpr unsigned kTrayNotOnAir = 177;
inline constexpr unsigned kTraySlideshowOnAir = 178;
inline constexpr unsigned kTrayPictureOnAir = 179;
inline constexpr unsigned kTrayContactName = 180;  // prefix, followed by the contact name
inline constexpr unsigned kTrayCounts = 181;       // #1 pictures sent, #2 failed
inline constexpr unsigned kTrayLastUpload = 182;   // #1 the age of the last successful upload
inline constexpr unsigned kTrayNoUploadYet = 183;
// Desktop notifications: a summary and a body each.
inline constexpr unsigned kNoticeUploadsFailSummary = 184;
inline constexpr unsigned kNoticeUploadsWorkSummary = 185;
inline constexpr unsigned kNoticeStillOnAirSummary = 186;
inline constexpr unsigned kNoticeStillOnAirBody = 187;
// The notification hold.
inline constexpr unsigned kNotificationHoldOn = 200;
inline constexpr unsigned kNotificationHoldOff = 201;
inline constexpr unsigned kNotificationHoldUnavailable = 202;
// The tray icon's tooltip while uploads fail.
inline constexpr unsigned kTrayUploadsFail = 203;
inline constexpr unsigned kCommandSlideshow = 32771;
inline constexpr unsigned kCommandShowMouseCursor = 32772;
inline constexpr unsigned kCommandOptions = 32773;
inline constexpr unsigned kCommandPublish = 32775;
inline constexpr unsigned kMessageCaption = 32776;
inline constexpr unsigned kViewerAddressTemplate = 32777;
inline constexpr unsigned kDefaultServerUrl = 32779;
inline constexpr unsigned kQualityCompressed = 32780;
inline constexpr unsigned kQualityNormal = 32781;
inline constexpr unsigned kQualityHigh = 32782;
inline constexpr unsigned kPictureSent = 32783;
inline constexpr unsigned kTipNext = 32784;
inline constexpr unsigned kTipCancel = 32785;
inline constexpr unsigned kTipUseDefaults = 32786;
inline constexpr unsigned kTipServerUrl = 32787;
inline constexpr unsigned kTipContactName = 32788;
inline constexpr unsigned kTipRefreshRate = 32789;
inline constexpr unsigned kTipPictureQuality = 32793;
inline constexpr unsigned kCommandGlobalHotkeys = 32794;
inline constexpr unsigned kCommandNotificationHold = 32798;
inline constexpr unsigned kApplicationTitle = 57344;
inline constexpr unsigned kCommandAbout = 57664;
inline constexpr unsigned kCommandExit = 57665;
inline constexpr unsigned kFailedToCreateDocument = 61700;
}  // namespace ids

// The text with this number, or nothing when the table has none.
std::optional<std::string_view> LoadText(unsigned id);

// The text with this number, or an empty text when the table has none.
std::string_view Text(unsigned id);

}  // namespace lumivanta
