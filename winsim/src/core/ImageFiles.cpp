#include "core/ImageFiles.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace winsim {
namespace {

std::string system_error(const char *what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// Closes a file descriptor on every path out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

ImageFiles &ImageFiles::of(const std::string &module) {
  // Never destroyed: the memory files stay open, and a copy may still be loaded, until the
  // host process ends.
  static auto *sets = new std::map<std::string, std::unique_ptr<ImageFiles>>();
  static std::mutex sets_mutex;
  std::lock_guard<std::mutex> lock(sets_mutex);
  auto &set = (*sets)[module];
  if (!set) set = std::make_unique<ImageFiles>(module);
  return *set;
}

std::optional<std::size_t> ImageFiles::acquire(std::string *error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (files_.empty()) files_.push_back(File{module_});
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].in_use || still_loaded(files_[i])) continue;
    files_[i].in_use = true;
    return i;
  }
  std::optional<File> file = copy(error);
  if (!file) return std::nullopt;
  file->in_use = true;
  files_.push_back(*file);
  return files_.size() - 1;
}

void ImageFiles::release(std::size_t file) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_[file].in_use = false;
}

std::size_t ImageFiles::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.size();
}

// A copy whose unloading the loader put off (it still runs destructors of thread-local
// objects) would be handed back with its old globals: such a file waits.
bool ImageFiles::still_loaded(const File &file) const {
  void *handle = dlopen(file.path.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

// A memory file with the module's bytes, named after the module for the memory maps. It stays
// open, so its path /proc/self/fd/<n> names it alone for as long as the host runs.
std::optional<ImageFiles::File> ImageFiles::copy(std::string *error) const {
  Descriptor in{open(module_.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (in.fd < 0 || fstat(in.fd, &st) != 0) {
    *error = system_error(module_.c_str());
    return std::nullopt;
  }
  std::string name = module_.substr(module_.find_last_of('/') + 1);
  int fd = memfd_create(name.c_str(), MFD_CLOEXEC);
  if (fd < 0) {
    *error = system_error("memfd_create");
    return std::nullopt;
  }
  for (off_t offset = 0; offset < st.st_size;) {
    ssize_t n = sendfile(fd, in.fd, &offset, static_cast<std::size_t>(st.st_size - offset));
    if (n <= 0) {
      *error = system_error("copying the image");
      close(fd);
      return std::nullopt;
    }
  }
  return File{"/proc/self/fd/" + std::to_string(fd)};
}

}  // namespace winsim
