// Runs the built `kova` in a folder and collects what a user sees: standard
// output, standard error and the exit code; a fixture with a fresh folder
// for each test.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include "app/platform/win32/wide.h"  // windows.h
#else
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kova::testing {

struct KovaResult {
  std::string out;
  std::string err;
  int code = -1;
};

#ifdef _WIN32
// `word` quoted for the command line of a Windows program, as the C
// runtime's argument parsing reads it back.
inline std::wstring CommandLineQuoted(const std::wstring& word) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// A program path of the build machine ("/work/...") as the Windows path
// under Wine, whose drive Z: is the build machine's root.
inline std::string WindowsProgramPath(const std::string& path) {
  return !path.empty() && path.front() == '/' ? "Z:" + path : path;
}

// Runs `program` with `args` in `folder`, standard input empty, standard
// output and error into files; the exit code, or -1 when it did not start.
inline int RunWindowsProgram(const std::filesystem::path& folder, const std::string& program,
                             const std::vector<std::string>& args, const std::filesystem::path& out,
                             const std::filesystem::path& err) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const auto open = [&](const std::filesystem::path& path, DWORD access, DWORD disposition) {
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  const HANDLE in_handle = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE out_handle = open(out, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE err_handle = open(err, GENERIC_WRITE, CREATE_ALWAYS);
  const std::wstring application = win32::Widen(WindowsProgramPath(program));
  std::wstring command = CommandLineQuoted(application);
  for (const std::string& arg : args) command += L" " + CommandLineQuoted(win32::Widen(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_handle;
  startup.hStdOutput = out_handle;
  startup.hStdError = err_handle;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, folder.c_str(), &startup, &process) != 0;
  for (const HANDLE handle : {in_handle, out_handle, err_handle}) ::CloseHandle(handle);
  if (!started) return -1;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
#endif

inline std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs KOVA_PROGRAM (or `program`) with `args` in `folder`; standard input
// is empty. With `join_group`, the cgroup.procs file of a control group, the
// program runs in that group.
inline KovaResult RunKova(const std::filesystem::path& folder, const std::vector<std::string>& args,
                          const std::filesystem::path& join_group = {},
                          const std::string& program = KOVA_PROGRAM) {
  const std::filesystem::path out = folder / ".kova-out";
  const std::filesystem::path err = folder / ".kova-err";
#ifdef _WIN32
  (void)join_group;
  const int code = RunWindowsProgram(folder, program, args, out, err);
  KovaResult result{ReadText(out), ReadText(err), code};
#else
  // Built by appending: GCC 12 warns wrongly (-Wrestrict) on a chain of "+".
  std::string command = "cd ";
  command += ShellQuoted(folder.string());
  command += " && ";
  if (!join_group.empty()) {
    command += "echo $$ >";
    command += ShellQuoted(join_group.string());
    command += " && exec ";
  }
  command += ShellQuoted(program);
  for (const std::string& arg : args) {
    command += ' ';
    command += ShellQuoted(arg);
  }
  command += " </dev/null >";
  command += ShellQuoted(out.string());
  command += " 2>";
  command += ShellQuoted(err.string());
  const int status = std::system(command.c_str());
  KovaResult result{ReadText(out), ReadText(err),
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
#endif
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

// A grid of 3 x 2 cells, one of them without data.
inline const std::string kSmallGrid =
    "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\nNODATA_value -9999\n"
    "1 2 3\n4 -9999 6\n";

// A fresh folder for each test, and the built kova run in it.
class KovaTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.file(name); }
  KovaResult Kova(const std::vector<std::string>& args) const { return RunKova(dir_.path(), args); }

  TempDir dir_;
};

}  // namespace kova::testing
