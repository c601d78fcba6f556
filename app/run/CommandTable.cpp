#include "app/run/CommandTable.h"

#include <algorithm>
#include <array>

#include "strings/StringTable.h"

namespace lumivanta {
namespace {

constexpr std::array kCommands{
    Command{.id = ids::kCommandPublish,
            .menu_text = "&Publish current screen\tCtrl+P",
            .menu = MenuPopup::kFile,
            .toolbar_button = 0,
            .check_style = true,
            .hotkey_id = 1,
            .key_text_id = ids::kKeyPublish,
            .hotkey_text_id = ids::kHotkeyTextPublish,
            .remote_name = "publish",
            .on_command = Operation::kPublishScreen,
            .on_hotkey = Operation::kPublishScreen},
    Command{.id = ids::kCommandSlideshow,
            .menu_text = "&Slideshow (send screen automatically)\tCtrl+S",
            .menu = MenuPopup::kFile,
            .separator_before_in_menu = true,
            .toolbar_button = 1,
            .check_style = true,
            .hotkey_id = 2,
            .key_text_id = ids::kKeySlideshow,
            .hotkey_text_id = ids::kHotkeyTextSlideshow,
            .remote_name = "slideshow",
            .on_command = Operation::kSlideshow,
            .on_hotkey = Operation::kSlideshow},
    Command{.id = ids::kCommandShowMouseCursor,
            .menu_text = "&Show mouse cursor\tCtrl+M",
            .menu = MenuPopup::kExtras,
            .toolbar_button = 2,
            .separator_before_on_toolbar = true,
            .check_style = true,
            .hotkey_id = 3,
            .key_text_id = ids::kKeyMouseCursor,
            .hotkey_text_id = ids::kHotkeyTextMouseCursor,
            .remote_name = "cursor",
            .on_command = Operation::kShowMouseCursor,
            .on_hotkey = Operation::kShowMouseCursorAndPublish},
    Command{.id = ids::kCommandOptions,
            .menu_text = "&Options and settings\tCtrl+O",
            .menu = MenuPopup::kExtras,
            .toolbar_button = 4,
            .separator_before_on_toolbar = true,
            .hotkey_id = 4,
            .key_text_id = ids::kKeyOptions,
            .hotkey_text_id = ids::kHotkeyTextOptions,
            .remote_name = "options",
            .on_command = Operation::kOptions,
            .on_hotkey = Operation::kOptions},
    Command{.id = ids::kCommandDeletePictures,
            .menu_text = "Delete pictures\tCtrl+D",
            .menu = MenuPopup::kFile,
            .separator_before_in_menu = true,
            .toolbar_button = 3,
            .separator_before_on_toolbar = true,
            .hotkey_id = 5,
            .key_text_id = ids::kKeyDelete,
            .hotkey_text_id = ids::kHotkeyTextDelete,
            .remote_name = "delete",
            .on_command = Operation::kDeletePictures,
            .on_hotkey = Operation::kStopAndDeletePictures},
    // Restores or minimises the main window: a hotkey without a menu entry.
    Command{.hotkey_id = 6,
            .key_text_id = ids::kKeyRestore,
            .hotkey_text_id = ids::kHotkeyTextRestore,
            .remote_name = "show",
            .on_hotkey = Operation::kToggleMainWindow},
    // All global hotkeys on or off; the choice is kept in the preferences.
    Command{.id = ids::kCommandGlobalHotkeys,
            .menu_text = "Global &hotkeys",
            .menu = MenuPopup::kExtras,
            .separator_before_in_menu = true,
            .check_style = true,
            .on_command = Operation::kGlobalHotkeys},
    // The desktop's notification pop-ups held back while on air, or not; kept in the preferences.
    Command{.id = ids::kCommandNotificationHold,
            .menu_text = "Hold back &notifications while on air",
            .menu = MenuPopup::kExtras,
            .check_style = true,
            .on_command = Operation::kNotificationHold},
    Command{.id = ids::kCommandExit,
            .menu_text = "Exit",
            .menu = MenuPopup::kFile,
            .toolbar_button = 5,
            .separator_before_on_toolbar = true},
    Command{.id = ids::kCommandAbout,
            .menu_text = "&About Lumivanta...",
            .menu = MenuPopup::kHelp,
            .toolbar_button = 6,
            .separator_before_on_toolbar = true},
};

// Hotkeys are registered and listed in the order of their ids, which is the table's.
constexpr bool HotkeysComeFirstInIdOrder() {
  int expected_id = 1;
  bool hotkeys_ended = false;
  for (const Command& command : kCommands) {
    if (command.hotkey_id == 0) {
      hotkeys_ended = true;
    } else if (hotkeys_ended || command.hotkey_id != expected_id++) {
      return false;
    }
  }
  return true;
}
static_assert(HotkeysComeFirstInIdOrder(), "hotkey rows come first, with the ids 1, 2, 3, ...");

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* CommandForHotkey(int hotkey_id) {
  for (const Command& command : kCommands) {
    if (hotkey_id != 0 && command.hotkey_id == hotkey_id) {
      return &command;
    }
  }
  return nullptr;
}

const Command* CommandForRemoteName(std::string_view remote_name) {
  for (const Command& command : kCommands) {
    if (!remote_name.empty() && command.remote_name == remote_name) {
      return &command;
    }
  }
  return nullptr;
}

std::vector<const Command*> ToolbarCommands() {
  std::vector<const Command*> buttons;
  for (const Command& command : kCommands) {
    if (command.toolbar_button >= 0) {
      buttons.push_back(&command);
    }
  }
  std::sort(buttons.begin(), buttons.end(),
            [](const Command* a, const Command* b) { return a->toolbar_button < b->toolbar_button; });
  return buttons;
}

std::vector<const Command*> TrayMenuCommands() {
  std::vector<const Command*> entries;
  for (const Command& command : kCommands) {
    if (command.hotkey_id != 0) {
      entries.push_back(&command);
    }
  }
  for (const Command& command : kCommands) {
    if (command.id == ids::kCommandExit) {
      entries.push_back(&command);
    }
  }
  return entries;
}

char HotkeyKey(const Command& command) {
  const std::string_view key_text = Text(command.key_text_id);
  return key_text.empty() ? '\0' : key_text.back();
}

}  // namespace lumivanta
