#include "core/LoadedImage.h"

#include <dlfcn.h>
#include <link.h>

#include "core/ImageFiles.h"
#include "core/ImageSymbols.h"
#include "core/SimThread.h"

namespace winsim {
namespace {

// While the loader runs it holds its lock: the simulated thread that called it must not hand
// the processor to another thread, which could need the loader in turn.
class InLoader {
 public:
  InLoader() : thread_(current_thread()) {
    if (thread_ != nullptr) thread_->loading = true;
  }
  ~InLoader() {
    if (thread_ != nullptr) thread_->loading = false;
  }
  InLoader(const InLoader &) = delete;
  InLoader &operator=(const InLoader &) = delete;

 private:
  SimThread *thread_;
};

std::string loader_error() {
  const char *text = dlerror();
  return text != nullptr ? text : "unknown loader error";
}

}  // namespace

std::unique_ptr<LoadedImage> LoadedImage::load(const std::string &module, std::string *error) {
  ImageFiles &files = ImageFiles::of(module);
  auto file = files.acquire(error);
  if (!file) return nullptr;
  InLoader in_loader;
  void *handle = dlopen(files.path(*file).c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (handle == nullptr) {
    *error = loader_error();
    files.release(*file);
    return nullptr;
  }
  auto entry = reinterpret_cast<Main>(dlsym(handle, "main"));
  if (entry == nullptr) {
    *error = module + " has no main";
    dlclose(handle);
    files.release(*file);
    return nullptr;
  }
  return std::unique_ptr<LoadedImage>(new LoadedImage(files, *file, handle, entry));
}

bool LoadedImage::holds(const void *address) const {
  Dl_info info;
  void *holder = nullptr;
  void *own = nullptr;
  return dladdr1(address, &info, &holder, RTLD_DL_LINKMAP) != 0 &&
         dlinfo(handle_, RTLD_DI_LINKMAP, &own) == 0 && holder == own;
}

std::string_view LoadedImage::function_at(const void *address) const {
  Dl_info info;
  void *holder = nullptr;
  void *own = nullptr;
  if (dladdr1(address, &info, &holder, RTLD_DL_LINKMAP) == 0 ||
      dlinfo(handle_, RTLD_DI_LINKMAP, &own) != 0 || holder != own)
    return {};
  auto base = static_cast<const link_map *>(own)->l_addr;
  return ImageSymbols::of(files_.module())
      .function_at(reinterpret_cast<std::uintptr_t>(address) - base);
}

bool LoadedImage::knows_function(std::string_view name) const {
  return ImageSymbols::of(files_.module()).knows(name);
}

LoadedImage::~LoadedImage() {
  {
    InLoader in_loader;
    dlclose(handle_);
  }
  files_.release(file_);
}

}  // namespace winsim
