// Runs the built `kova` in a folder and collects what a user sees: standard
// output, standard error and the exit code.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kova::testing {

struct KovaResult {
  std::string out;
  std::string err;
  int code = -1;
};

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
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

}  // namespace kova::testing
