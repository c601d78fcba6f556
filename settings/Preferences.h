#pragma once

// The per-user preferences, apart from the configuration file: a plain text
// file of "key=value" lines, for example "global-hotkeys=off",
// "notifications=off" or "viewer-key=KEY". Lines starting with "#" are comments. Lines this
// program does not understand (comments, unknown keys, malformed lines) are
// kept and written back as they were, so that preferences of a newer program
// survive a save by an older one.

#include <string>
#include <vector>

namespace lumivanta {

// Where the preferences file lives by the XDG base directory rules:
// xdg_config_home/lumivanta/preferences when xdg_config_home is an absolute
// path, else home/.config/lumivanta/preferences; empty when home is not an
// absolute path either. Null stands for an unset variable.
std::string PreferencesPathFor(const char* xdg_config_home, const char* home);

// PreferencesPathFor with XDG_CONFIG_HOME and HOME of this process.
std::string PreferencesPath();

class Preferences {
 public:
  // The file at PreferencesPath().
  Preferences();
  explicit Preferences(std::string path);

  // Reads the file; every preference it does not set takes its default. A
  // missing file gives the defaults and true; false when the file exists but
  // cannot be read as a whole (it is then taken as empty).
  bool Load();

  // Writes every preference, in place of its line where the file had one,
  // with the kept lines around them. Creates the missing directories with
  // mode 0700 and the file with mode 0600; a replaced file keeps no wider mode.
  // The file is replaced atomically: on failure it is left as it was and the
  // result is false.
  bool Save() const;

  const std::string& Path() const { return path_; }

  // The program's global hotkeys on or off.
  bool global_hotkeys = true;
  // Desktop notifications (failed uploads, their recovery, a long slideshow) on or off.
  bool notifications = true;
  // The desktop's notification pop-ups held back while the screen is on the web, or not.
  bool hold_notifications = true;
  // The view key of a server with a private viewer ("viewer-key=KEY"): the
  // viewer address given out then leads to it. Empty without a valid one.
  std::string viewer_key;

 private:
  std::string path_;
  // The file's lines as read, without their line feeds.
  std::vector<std::string> lines_;
};

}  // namespace lumivanta
