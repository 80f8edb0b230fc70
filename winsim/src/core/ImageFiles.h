// The files one program image is loaded from. The dynamic loader hands back the copy it already
// holds for a file it has loaded (same name, or same device and inode), so two processes that
// run the program at the same time need two distinct files: the module itself first, then
// copies in memory files, each used again once the copy loaded from it is unloaded.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

class ImageFiles {
 public:
  explicit ImageFiles(std::string module) : module_(std::move(module)) {}
  ImageFiles(const ImageFiles &) = delete;
  ImageFiles &operator=(const ImageFiles &) = delete;

  // The files of the module at `module`: one set per host process, kept until it ends, so that
  // the copies made for one world serve the next.
  static ImageFiles &of(const std::string &module);

  // A file that no loaded copy comes from: its number for release(), its path for the loader.
  // Nothing, with `error` set, when no copy of the module can be made.
  std::optional<std::size_t> acquire(std::string *error);
  const std::string &path(std::size_t file) const { return files_[file].path; }
  void release(std::size_t file);

  const std::string &module() const { return module_; }

  // How many files exist for the module (the module itself and its copies).
  std::size_t count() const;

 private:
  struct File {
    std::string path;  // as given to the loader
    bool in_use = false;
  };
  bool still_loaded(const File &file) const;
  std::optional<File> copy(std::string *error) const;

  std::string module_;
  std::vector<File> files_;
  mutable std::mutex mutex_;
};

}  // namespace winsim
