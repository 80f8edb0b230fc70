// The simulated file system: files and folders by full path (any case), each file holding
// bytes, or standing for the image of a registered program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct FileNode {
  std::string path;  // full path with the case of creation, UTF-8
  bool directory = false;
  std::vector<std::uint8_t> data;
  std::string program;              // for a program image: the registered image name
  std::uint64_t play_ms = 0;        // for a wave file: how long it plays
  std::uint32_t attributes = 0x80;  // FILE_ATTRIBUTE_NORMAL
  // Another process holds the file open for reading, without write or delete sharing: deleting
  // it or copying onto it fails with a sharing violation; copying it elsewhere works.
  bool busy = false;
};

class FileSystem {
 public:
  FileSystem();

  // Adds (or replaces) a file; missing folders on its path are created.
  FileNode &add_file(std::string_view path, std::vector<std::uint8_t> data = {});
  FileNode &add_text_file(std::string_view path, std::string_view bytes);
  FileNode &add_program(std::string_view path, std::string_view image_name);
  void add_directory(std::string_view path);
  bool remove(std::string_view path);

  const FileNode *find(std::string_view path) const;
  FileNode *find(std::string_view path);
  bool exists(std::string_view path) const { return find(path) != nullptr; }
  bool is_directory(std::string_view path) const;
  // Full paths of everything directly inside the folder.
  std::vector<std::string> list(std::string_view folder) const;

  // Absolute, backslash-separated form of `path` relative to `current_dir`; "." and ".."
  // resolved. Returns nothing for paths the simulated machine cannot name.
  // Files marked for deletion at the next restart, in the order they were marked.
  void delete_at_restart(std::string_view path) { reboot_deletes_.emplace_back(path); }
  const std::vector<std::string> &reboot_deletes() const { return reboot_deletes_; }

  static std::optional<std::string> resolve(std::string_view path, std::string_view current_dir);
  static std::string parent_of(std::string_view path);
  static std::string file_name(std::string_view path);

 private:
  std::vector<FileNode> nodes_;
  std::vector<std::string> reboot_deletes_;
};

}  // namespace winsim
