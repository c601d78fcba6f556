#pragma once

// The program's commands in one table: what the menu, the toolbar, the tray
// icon's menu, the system-wide hotkeys and the information dialog show of
// each, and which operation answers it. The run maps operations to its handlers.

#include <span>
#include <string_view>
#include <vector>

namespace lumivanta {

enum class MenuPopup { kNone, kFile, kExtras, kHelp };

// What a command asks the run to do.
enum class Operation {
  kNone,
  kPublishScreen,
  kSlideshow,
  kShowMouseCursor,
  // The pointer switched, and in the single-picture mode a picture that shows it.
  kShowMouseCursorAndPublish,
  kOptions,
  kDeletePictures,
  // The slideshow ended first, then the pictures deleted.
  kStopAndDeletePictures,
  kToggleMainWindow,
  kGlobalHotkeys,
  kNotificationHold,
};

struct Command {
  // The menu and toolbar command; its numbered text holds the toolbar tip
  // after a line break. 0 for the hotkey that has no menu entry.
  unsigned id = 0;
  std::string_view menu_text;
  MenuPopup menu = MenuPopup::kNone;
  bool separator_before_in_menu = false;
  // Position on the toolbar, which is also the position of its picture in
  // the toolbar's picture strip; -1 when it has no button.
  int toolbar_button = -1;
  bool separator_before_on_toolbar = false;
  // Shows a check mark and a pressed button while its mode is on.
  bool check_style = false;
  // The hotkey's id for the platform (not 0), or 0 without a hotkey; its key
  // is Control plus the last character of the numbered key text.
  int hotkey_id = 0;
  unsigned key_text_id = 0;
  // What the information dialog says the hotkey does.
  unsigned hotkey_text_id = 0;
  // The command's name on the command line (--publish) and over D-Bus; empty
  // for the commands that have no hotkey.
  std::string_view remote_name;
  // The run's answer to the menu and the toolbar; none for the commands the
  // frame answers itself (Exit, About). The hotkey's may differ.
  Operation on_command = Operation::kNone;
  Operation on_hotkey = Operation::kNone;
};

// Every command, the ones with a hotkey first, in the order of their hotkey ids.
std::span<const Command> Commands();

// The command with this hotkey id; null when there is none.
const Command* CommandForHotkey(int hotkey_id);

// The command with this command-line name; null when there is none.
const Command* CommandForRemoteName(std::string_view remote_name);

// The toolbar's commands in button order.
std::vector<const Command*> ToolbarCommands();

// The tray icon's menu: the commands with a hotkey in their order, then Exit.
std::vector<const Command*> TrayMenuCommands();

// The key of a hotkey: Control plus this character; 0 without a key text.
char HotkeyKey(const Command& command);

}  // namespace lumivanta
