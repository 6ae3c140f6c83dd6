#include "app/platform/settings_location.h"

#include "app/platform/win32/wide.h"

namespace kova {
namespace {

std::string DirectoryOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  return name.size() == path.size() ? std::string(".") : path.substr(0, path.size() - name.size());
}

std::string EnvironmentValue(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name, value.data(), size);
  value.resize(n < size ? n : 0);
  return win32::Narrow(value);
}

// Whether a file can be created in `folder`: the folder's permissions
// decide on Windows, and only trying tells them.
bool CanCreateIn(const std::string& folder) {
  const std::string probe = JoinPath(folder, ".kova-write-test.tmp");
  const HANDLE file =
      ::CreateFileW(win32::Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

}  // namespace

std::string ChooseSettingsPath(const SettingsPlace& place) {
  const std::string beside_program = ChangeFileExt(place.program_path, ".ini");
  if (place.program_dir_writable || !IsAbsolutePath(place.app_data)) return beside_program;
  return JoinPath(JoinPath(place.app_data, "Tarvo2Kova"), FileNameOf(beside_program));
}

std::string SettingsFilePath(const std::string& program_path) {
  SettingsPlace place;
  place.program_path = program_path;
  place.program_dir_writable = CanCreateIn(DirectoryOf(program_path));
  place.app_data = EnvironmentValue(L"APPDATA");
  const std::string path = ChooseSettingsPath(place);
  if (!place.program_dir_writable) {
    // A folder that cannot be made shows up later as "Unable to write to".
    ::CreateDirectoryW(win32::Widen(DirectoryOf(path)).c_str(), nullptr);
  }
  return path;
}

}  // namespace kova
