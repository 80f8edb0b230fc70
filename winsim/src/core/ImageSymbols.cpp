#include "core/ImageSymbols.h"

#include <cxxabi.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace winsim {
namespace {

// The module's bytes, mapped for as long as its symbols are read.
class MappedFile {
 public:
  explicit MappedFile(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
      void *p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<const unsigned char *>(p);
        size_ = static_cast<std::size_t>(st.st_size);
      }
    }
    close(fd);
  }
  ~MappedFile() {
    if (data_ != nullptr) munmap(const_cast<unsigned char *>(data_), size_);
  }
  MappedFile(const MappedFile &) = delete;
  MappedFile &operator=(const MappedFile &) = delete;

  // `count` objects of T at `offset`, or null when they do not lie inside the file.
  template <typename T>
  const T *at(std::uint64_t offset, std::uint64_t count = 1) const {
    if (data_ == nullptr || offset > size_ || count > (size_ - offset) / sizeof(T)) return nullptr;
    return reinterpret_cast<const T *>(data_ + offset);
  }
  std::size_t size() const { return size_; }

 private:
  const unsigned char *data_ = nullptr;
  std::size_t size_ = 0;
};

std::string demangle(const char *symbol) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> text(
      abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
  return status == 0 && text ? std::string(text.get()) : std::string(symbol);
}

void erase_all(std::string &text, std::string_view part) {
  for (std::size_t at; (at = text.find(part)) != std::string::npos;) text.erase(at, part.size());
}

// The text before the parameter list of the outermost function: the first '(' outside angle
// brackets and braces, where "operator()" counts as part of the name.
std::string_view before_parameters(std::string_view text) {
  int angles = 0, braces = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<') ++angles;
    if (c == '>' && angles > 0) --angles;
    if (c == '{') ++braces;
    if (c == '}' && braces > 0) --braces;
    if (c != '(' || angles != 0 || braces != 0) continue;
    if (text.substr(0, i).ends_with("operator") && text.substr(i).starts_with("()")) {
      ++i;
      continue;
    }
    return text.substr(0, i);
  }
  return text;
}

// Drops template argument lists and a return type written before the name.
std::string bare_name(std::string_view name) {
  std::string out;
  int angles = 0;
  for (char c : name) {
    if (c == '<') {
      ++angles;
      continue;
    }
    if (c == '>' && angles > 0) {
      --angles;
      continue;
    }
    if (angles == 0) out += c;
  }
  std::size_t space = out.rfind(' ');
  return space == std::string::npos ? out : out.substr(space + 1);
}

const Elf64_Shdr *section_of_type(const MappedFile &file, const Elf64_Ehdr &header,
                                  std::uint32_t type) {
  const auto *sections = file.at<Elf64_Shdr>(header.e_shoff, header.e_shnum);
  if (sections == nullptr) return nullptr;
  for (int i = 0; i < header.e_shnum; ++i)
    if (sections[i].sh_type == type) return &sections[i];
  return nullptr;
}

}  // namespace

const ImageSymbols &ImageSymbols::of(const std::string &module) {
  // Never destroyed: lookups may come until the host process ends.
  static auto *tables = new std::map<std::string, std::unique_ptr<ImageSymbols>>();
  static std::mutex tables_mutex;
  std::lock_guard<std::mutex> lock(tables_mutex);
  auto &table = (*tables)[module];
  if (!table) table.reset(new ImageSymbols(module));
  return *table;
}

ImageSymbols::ImageSymbols(const std::string &module) {
  MappedFile file(module);
  const auto *header = file.at<Elf64_Ehdr>(0);
  if (header == nullptr || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_ident[EI_CLASS] != ELFCLASS64)
    return;
  // The full symbol table names the hidden functions too; a stripped module has only its
  // dynamic symbols.
  const Elf64_Shdr *symtab = section_of_type(file, *header, SHT_SYMTAB);
  if (symtab == nullptr) symtab = section_of_type(file, *header, SHT_DYNSYM);
  const auto *sections = file.at<Elf64_Shdr>(header->e_shoff, header->e_shnum);
  if (symtab == nullptr || symtab->sh_link >= header->e_shnum) return;
  const Elf64_Shdr &strtab = sections[symtab->sh_link];
  const auto *symbols = file.at<Elf64_Sym>(symtab->sh_offset, symtab->sh_size / sizeof(Elf64_Sym));
  const char *strings = file.at<char>(strtab.sh_offset, strtab.sh_size);
  if (symbols == nullptr || strings == nullptr) return;

  for (std::size_t i = 0; i < symtab->sh_size / sizeof(Elf64_Sym); ++i) {
    const Elf64_Sym &sym = symbols[i];
    if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_size == 0 || sym.st_value == 0 ||
        sym.st_name >= strtab.sh_size)
      continue;
    std::string name = source_name(demangle(strings + sym.st_name));
    if (name.empty()) continue;
    for (std::size_t at = 0;; at += 2) {
      known_.insert(name.substr(at));
      at = name.find("::", at);
      if (at == std::string::npos) break;
    }
    functions_.push_back({sym.st_value, sym.st_value + sym.st_size, std::move(name)});
  }
  std::sort(functions_.begin(), functions_.end(),
            [](const Function &a, const Function &b) { return a.start < b.start; });
}

std::string_view ImageSymbols::function_at(std::uintptr_t offset) const {
  auto it = std::upper_bound(functions_.begin(), functions_.end(), offset,
                             [](std::uintptr_t o, const Function &f) { return o < f.start; });
  if (it == functions_.begin()) return {};
  --it;
  return offset < it->end ? std::string_view(it->name) : std::string_view();
}

std::string ImageSymbols::source_name(std::string_view demangled) {
  std::string text(demangled);
  erase_all(text, "(anonymous namespace)::");
  erase_all(text, "[abi:cxx11]");
  return bare_name(before_parameters(text));
}

}  // namespace winsim
