#include "winsim/FileSystem.h"

#include <algorithm>

#include "winsim/Text.h"

namespace winsim {

FileSystem::FileSystem() {
  for (const char *dir : {"C:\\", "C:\\Windows", "C:\\Windows\\System32", "C:\\Windows\\System",
                          "C:\\Windows\\SysWOW64", "C:\\Program Files", "C:\\Program Files (x86)"})
    add_directory(dir);
}

std::optional<std::string> FileSystem::resolve(std::string_view path,
                                               std::string_view current_dir) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '/', '\\');
  std::string base;
  if (p.size() >= 2 && p[1] == ':') {
    if (p.size() == 2 || p[2] != '\\') return std::nullopt;  // drive-relative paths: not named
    base = p;
  } else if (!p.empty() && p[0] == '\\') {
    if (p.size() > 1 && p[1] == '\\') return std::nullopt;  // UNC and device paths
    base = std::string(current_dir.substr(0, 2)) + p;
  } else {
    base = std::string(current_dir);
    if (base.empty() || base.back() != '\\') base += '\\';
    base += p;
  }
  // Split and normalise.
  std::vector<std::string> parts;
  std::string drive = base.substr(0, 2);
  size_t i = 3;
  while (i <= base.size()) {
    size_t j = base.find('\\', i);
    if (j == std::string::npos) j = base.size();
    std::string part = base.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out = drive + "\\";
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += '\\';
    out += parts[k];
  }
  return out;
}

std::string FileSystem::parent_of(std::string_view path) {
  size_t slash = path.find_last_of('\\');
  if (slash == std::string_view::npos) return std::string();
  if (slash == 2 && path.size() > 1 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, slash));
}

std::string FileSystem::file_name(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

const FileNode *FileSystem::find(std::string_view path) const {
  auto full = resolve(path, "C:\\");
  if (!full) return nullptr;
  std::string key = fold_case(*full);
  for (const auto &node : nodes_)
    if (fold_case(node.path) == key) return &node;
  return nullptr;
}

FileNode *FileSystem::find(std::string_view path) {
  return const_cast<FileNode *>(static_cast<const FileSystem *>(this)->find(path));
}

bool FileSystem::is_directory(std::string_view path) const {
  const FileNode *node = find(path);
  return node != nullptr && node->directory;
}

void FileSystem::add_directory(std::string_view path) {
  auto full = resolve(path, "C:\\");
  if (!full || find(*full) != nullptr) return;
  std::string parent = parent_of(*full);
  if (!parent.empty() && parent != *full) add_directory(parent);
  FileNode node;
  node.path = *full;
  node.directory = true;
  node.attributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
  nodes_.push_back(std::move(node));
}

FileNode &FileSystem::add_file(std::string_view path, std::vector<std::uint8_t> data) {
  std::string full = resolve(path, "C:\\").value_or(std::string(path));
  add_directory(parent_of(full));
  if (FileNode *existing = find(full)) {
    *existing = FileNode{};
    existing->path = full;
    existing->data = std::move(data);
    return *existing;
  }
  FileNode node;
  node.path = full;
  node.data = std::move(data);
  nodes_.push_back(std::move(node));
  return nodes_.back();
}

FileNode &FileSystem::add_text_file(std::string_view path, std::string_view bytes) {
  return add_file(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

FileNode &FileSystem::add_program(std::string_view path, std::string_view image_name) {
  FileNode &node = add_file(path);
  node.program = std::string(image_name);
  return node;
}

bool FileSystem::remove(std::string_view path) {
  const FileNode *node = find(path);
  if (node == nullptr) return false;
  nodes_.erase(nodes_.begin() + (node - nodes_.data()));
  return true;
}

std::vector<std::string> FileSystem::list(std::string_view folder) const {
  std::vector<std::string> out;
  auto full = resolve(folder, "C:\\");
  if (!full) return out;
  std::string key = fold_case(*full);
  for (const auto &node : nodes_)
    if (node.path != *full && fold_case(parent_of(node.path)) == key) out.push_back(node.path);
  return out;
}

}  // namespace winsim
