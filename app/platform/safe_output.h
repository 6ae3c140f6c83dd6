// Outputs that appear whole or not at all, and the checks that keep a run
// from writing over what it reads.
//
// Every writer of the tool (the conversion run, the window, each `kova`
// subcommand) writes its output into a hidden temporary file created beside
// the output and moves it into place with one rename once it is complete. An
// existing output therefore keeps its old bytes until the new ones are all
// written, a run that is killed or fails leaves no half-written file, and two
// runs writing the same name leave one complete file.
#pragma once

#include <cstddef>
#include <string>

namespace kova {

class SafeOutput {
 public:
  // Creates the temporary file for `path`. When `path` is a symbolic link the
  // file it points to (through every link of the chain) is the one replaced,
  // so the link stays a link. An existing directory or an existing file that
  // is not a regular file (a device, a FIFO) is refused before anything is
  // created; a missing directory gives "File not found" or "Invalid filename".
  explicit SafeOutput(const std::string& path);
  // Removes the temporary file unless Commit() moved it into place.
  ~SafeOutput();
  SafeOutput(SafeOutput&& other) noexcept;
  SafeOutput& operator=(SafeOutput&& other) noexcept;
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // The output name as given.
  const std::string& Path() const noexcept { return path_; }
  // The file that Commit() replaces: Path() with its links resolved.
  const std::string& TargetPath() const noexcept { return target_; }
  // The name of the temporary file, through which writers that open files by
  // name reach it while this object lives. Where the file system allows it
  // the file has no name in the folder until Commit() (the name is then its
  // handle's entry in /proc), so that a killed process leaves nothing behind.
  const std::string& TemporaryPath() const noexcept { return temporary_; }
  bool Committed() const noexcept { return committed_; }

  // Appends bytes to the temporary file through the handle held open since
  // its creation (a full disk is "Disk full").
  void Write(const void* data, std::size_t count);

  // Renames the temporary file onto the target and closes it; with durable
  // commits it is flushed to disk first and the folder after. Any failure is
  // an error and leaves the target as it was; the temporary file is then
  // removed by the destructor.
  void Commit();

  // Whether every commit of the process waits until the output is on disk
  // (`kova convert --sync`). Off by default: kills, failures and other runs
  // never see a partial file either way, and a file system that orders a
  // rename over an existing file after the new file's data (ext4 in its
  // default mode does) keeps the old or the new image through a power cut;
  // the wait costs a rerun over existing outputs more time than the
  // conversion itself.
  static void SetDurableCommits(bool durable) noexcept;

  // Removes the temporary file now; the target stays as it was.
  void Discard() noexcept;

 private:
  static bool DurableCommits() noexcept;
  void CreateUnnamed();
  void CreateNamed();
  // Gives the unnamed file the hidden name it is renamed from; returns it.
  std::string LinkUnnamed();

  std::string path_;
  std::string target_;
  std::string stem_;  // folder and hidden name of the temporary file, without suffix
  std::string temporary_;
  int fd_ = -1;
  bool unnamed_ = false;
  bool committed_ = false;
};

// Writes `count` bytes as the whole new content of `path` through a SafeOutput.
void WriteFileWhole(const std::string& path, const void* data, std::size_t count);
void WriteFileWhole(const std::string& path, const std::string& bytes);

// True when both names lead to one existing file (same device and inode):
// the same name, "./" and ".." forms, hard links and symbolic links all count.
// A name that does not exist is the same file as nothing.
bool IsSameFile(const std::string& a, const std::string& b);

// Refuses to write `output` when it is the same file as `source` (an input or
// the template; `role` says which, e.g. "input"): the error names both files.
void RefuseOverwriting(const std::string& output, const std::string& source,
                       const std::string& role);

// Refuses a file that is to be read when it exists but is not a regular file
// (a device such as /dev/zero, a FIFO, a socket), which would be read forever
// or block: "Not a regular file". A missing file gives "File not found" or
// "Invalid filename", a directory "File access denied", as opening it would.
void RequireRegularFile(const std::string& path);

// Raises "Not a regular file" (a RefusedFileError) for `path`.
[[noreturn]] void ThrowNotRegularFile(const std::string& path);

}  // namespace kova
