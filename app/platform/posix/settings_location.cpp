#include "app/platform/settings_location.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kova {
namespace {

std::string DirectoryOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  return name.size() == path.size() ? std::string(".") : path.substr(0, path.size() - name.size());
}

// The configuration folder, or empty when there is none to use.
std::string ConfigDirectory(const SettingsPlace& place) {
  if (!place.xdg_config_home.empty() && place.xdg_config_home.front() == '/') {
    return place.xdg_config_home;
  }
  if (!place.home.empty()) return JoinPath(place.home, ".config");
  return {};
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::string ChooseSettingsPath(const SettingsPlace& place) {
  const std::string beside_program = ChangeFileExt(place.program_path, ".ini");
  if (place.program_dir_writable) return beside_program;
  const std::string config_dir = ConfigDirectory(place);
  if (config_dir.empty()) return beside_program;
  return JoinPath(config_dir, FileNameOf(beside_program));
}

std::string SettingsFilePath(const std::string& program_path) {
  SettingsPlace place;
  place.program_path = program_path;
  place.program_dir_writable = ::access(DirectoryOf(place.program_path).c_str(), W_OK) == 0;
  place.xdg_config_home = EnvironmentValue("XDG_CONFIG_HOME");
  place.home = EnvironmentValue("HOME");
  const std::string path = ChooseSettingsPath(place);
  if (!place.program_dir_writable) {
    // A folder that cannot be made shows up later as "Unable to write to".
    std::error_code ignored;
    std::filesystem::create_directories(DirectoryOf(path), ignored);
  }
  return path;
}

}  // namespace kova
