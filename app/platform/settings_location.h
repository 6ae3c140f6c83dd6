// Where the settings file lives. It is named after the program: the
// program's own path with its extension replaced by ".ini". When the
// program's folder cannot be written (an installed program in /usr/bin), the
// file of the same name goes into the user's configuration folder instead
// (on Windows, as in Program Files: the Tarvo2Kova folder of %APPDATA%).
#pragma once

#include <string>

#include "app/platform/paths.h"  // ChangeFileExt

namespace kova {

// The facts the choice depends on, gathered from the process and its
// environment by SettingsFilePath() and supplied directly by tests.
struct SettingsPlace {
  std::string program_path;  // full path of the program file
  bool program_dir_writable = false;
  std::string xdg_config_home;  // $XDG_CONFIG_HOME, empty when unset
  std::string home;             // $HOME, empty when unset
  std::string app_data;         // %APPDATA% (Windows), empty when unset
};

// The settings file for `place`: beside the program when its folder is
// writable; otherwise <program name>.ini in $XDG_CONFIG_HOME (when it is an
// absolute path), else in $HOME/.config; on Windows in %APPDATA%\Tarvo2Kova.
// Without a usable home either, the name beside the program is kept.
std::string ChooseSettingsPath(const SettingsPlace& place);

// The settings file of the program at `program_path`, deciding from its
// folder and this process's environment. When the file goes into the
// configuration folder, that folder is created if it is missing.
std::string SettingsFilePath(const std::string& program_path);

}  // namespace kova
