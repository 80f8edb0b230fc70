// One process's private copy of a program image. Loading it makes the program's globals and
// statics afresh and runs its static constructors, on the calling thread; unloading it
// discards them. The program's static destructors are not the loader's business: the image
// hands them to winsim (crt/Crt.cpp), which runs them when the program's main returns.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace winsim {

class ImageFiles;

class LoadedImage {
 public:
  using Main = int (*)(int argc, char **argv);

  // Loads a copy of the module at `module` that no other process uses; null, with `error`
  // set, when it cannot be loaded or has no `main`.
  static std::unique_ptr<LoadedImage> load(const std::string &module, std::string *error);
  ~LoadedImage();
  LoadedImage(const LoadedImage &) = delete;
  LoadedImage &operator=(const LoadedImage &) = delete;

  Main main() const { return main_; }
  // Whether `address` lies in this copy (its code, data or type information).
  bool holds(const void *address) const;
  // The program function whose code holds `address`, as the source names it; empty when the
  // address lies outside this copy's functions.
  std::string_view function_at(const void *address) const;
  // Whether `name` names a function of the program.
  bool knows_function(std::string_view name) const;

 private:
  LoadedImage(ImageFiles &files, std::size_t file, void *handle, Main entry)
      : files_(files), file_(file), handle_(handle), main_(entry) {}

  ImageFiles &files_;
  std::size_t file_;
  void *handle_;
  Main main_;
};

}  // namespace winsim
