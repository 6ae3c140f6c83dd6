#include "app/platform/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "app/platform/base/errors.h"
#include "app/platform/system_errors.h"

namespace kova {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::vector<std::string> FindFiles(const std::string& directory, const std::string& masks) {
  const std::string dir_path = directory.empty() ? "." : directory;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(dir_path.c_str()));
  if (!dir) ThrowFileErrorFromErrno(errno, dir_path);

  std::vector<std::string> files;
  const std::string prefix = dir_path.back() == '/' ? dir_path : dir_path + "/";
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) ThrowFileErrorFromErrno(errno, dir_path);
      break;
    }
    std::string name = entry->d_name;
    if (name.empty() || name.front() == '.') continue;
    struct stat info {};
    if (::stat((prefix + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    files.push_back(std::move(name));
  }

  return MatchingFiles(files, masks);
}

}  // namespace kova
