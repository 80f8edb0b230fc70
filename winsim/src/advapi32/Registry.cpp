#include "winsim/Registry.h"

#include <stdexcept>

#include "winsim/Text.h"

namespace winsim {
namespace {

std::vector<std::string> split_path(std::string_view relative) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= relative.size()) {
    size_t j = relative.find('\\', i);
    if (j == std::string_view::npos) j = relative.size();
    if (j > i) parts.emplace_back(relative.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

// Splits "HKLM\SOFTWARE\X" into the root key and the rest.
std::pair<std::string, std::string> split_root(std::string_view path) {
  size_t slash = path.find('\\');
  std::string root(path.substr(0, slash));
  std::string rest =
      slash == std::string_view::npos ? std::string() : std::string(path.substr(slash + 1));
  return {root, rest};
}

std::vector<std::uint8_t> utf16_bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

}  // namespace

std::shared_ptr<RegKey> RegKey::child(std::string_view child_name) const {
  for (const auto &k : subkeys)
    if (equal_nocase(k->name, child_name)) return k;
  return nullptr;
}

RegValue *RegKey::value(std::string_view value_name) {
  for (auto &v : values)
    if (equal_nocase(v.name, value_name)) return &v;
  return nullptr;
}

bool RegKey::remove_value(std::string_view value_name) {
  for (auto it = values.begin(); it != values.end(); ++it)
    if (equal_nocase(it->name, value_name)) {
      values.erase(it);
      return true;
    }
  return false;
}

Registry::Registry()
    : hklm_(std::make_shared<RegKey>("HKLM", "HKLM", nullptr)),
      hkcu_(std::make_shared<RegKey>("HKCU", "HKCU", nullptr)),
      hku_(std::make_shared<RegKey>("HKU", "HKU", nullptr)) {
  bool created = false;
  for (const char *key : {"SOFTWARE", "SYSTEM\\CurrentControlSet\\Services"})
    create(hklm_, key, &created);
  create(hkcu_, "Software", &created);
  create(hku_, ".DEFAULT\\Software", &created);
  hku_->child(".DEFAULT")->hive = true;
}

std::shared_ptr<RegKey> Registry::root(std::string_view root_name) const {
  if (equal_nocase(root_name, "HKLM") || equal_nocase(root_name, "HKEY_LOCAL_MACHINE"))
    return hklm_;
  if (equal_nocase(root_name, "HKCU") || equal_nocase(root_name, "HKEY_CURRENT_USER")) return hkcu_;
  if (equal_nocase(root_name, "HKU") || equal_nocase(root_name, "HKEY_USERS")) return hku_;
  return nullptr;
}

std::shared_ptr<RegKey> Registry::current_user(bool system_account) const {
  return system_account ? hku_->child(".DEFAULT") : hkcu_;
}

std::shared_ptr<RegKey> Registry::find(const std::shared_ptr<RegKey> &base,
                                       std::string_view relative) const {
  std::shared_ptr<RegKey> key = base;
  for (const auto &part : split_path(relative)) {
    if (!key) return nullptr;
    key = key->child(part);
  }
  return key;
}

std::shared_ptr<RegKey> Registry::create(const std::shared_ptr<RegKey> &base,
                                         std::string_view relative, bool *created) {
  *created = false;
  std::shared_ptr<RegKey> key = base;
  for (const auto &part : split_path(relative)) {
    auto next = key->child(part);
    if (!next) {
      next = std::make_shared<RegKey>(part, key->path + "\\" + part, key.get());
      key->subkeys.push_back(next);
      *created = true;
    }
    key = next;
  }
  return key;
}

std::shared_ptr<RegKey> Registry::find_path(std::string_view path) const {
  auto [root_name, rest] = split_root(path);
  auto base = root(root_name);
  return base ? find(base, rest) : nullptr;
}

void Registry::mark_deleted(RegKey &key) {
  key.deleted = true;
  for (auto &sub : key.subkeys) mark_deleted(*sub);
}

void Registry::create_key(std::string_view path) {
  auto [root_name, rest] = split_root(path);
  auto base = root(root_name);
  if (!base)
    throw std::invalid_argument("winsim: unknown registry root in \"" + std::string(path) + "\"");
  bool created = false;
  create(base, rest, &created);
}

void Registry::set_value(std::string_view path, std::string_view name, std::uint32_t type,
                         std::vector<std::uint8_t> data) {
  create_key(path);
  auto key = find_path(path);
  if (RegValue *v = key->value(name)) {
    v->type = type;
    v->data = std::move(data);
  } else {
    key->values.push_back(RegValue{std::string(name), type, std::move(data)});
  }
}

void Registry::set_dword(std::string_view path, std::string_view name, std::uint32_t value) {
  set_value(path, name, 4,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void Registry::set_string(std::string_view path, std::string_view name, std::string_view utf8,
                          std::uint32_t type) {
  std::u16string text = utf8_to_utf16(utf8);
  text.push_back(u'\0');
  set_value(path, name, type, utf16_bytes(text));
}

void Registry::set_multi_string(std::string_view path, std::string_view name,
                                const std::vector<std::string> &items) {
  std::u16string text;
  for (const auto &item : items) {
    text += utf8_to_utf16(item);
    text.push_back(u'\0');
  }
  text.push_back(u'\0');
  set_value(path, name, 7, utf16_bytes(text));
}

bool Registry::delete_value(std::string_view path, std::string_view name) {
  auto key = find_path(path);
  return key && key->remove_value(name);
}

bool Registry::delete_tree(std::string_view path) {
  auto key = find_path(path);
  if (!key || key->parent == nullptr || key->hive) return false;
  auto &siblings = key->parent->subkeys;
  for (auto it = siblings.begin(); it != siblings.end(); ++it)
    if (it->get() == key.get()) {
      mark_deleted(*key);
      siblings.erase(it);
      return true;
    }
  return false;
}

void Registry::deny_full_access(std::string_view path, bool deny) {
  create_key(path);
  find_path(path)->deny_full_access = deny;
}

bool Registry::key_exists(std::string_view path) const {
  return find_path(path) != nullptr;
}

std::optional<RegValue> Registry::value(std::string_view path, std::string_view name) const {
  auto key = find_path(path);
  if (!key) return std::nullopt;
  if (RegValue *v = key->value(name)) return *v;
  return std::nullopt;
}

std::optional<std::uint32_t> Registry::dword(std::string_view path, std::string_view name) const {
  auto v = value(path, name);
  if (!v || v->data.size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                    (static_cast<std::uint32_t>(v->data[3]) << 24));
}

std::optional<std::string> Registry::string(std::string_view path, std::string_view name) const {
  auto v = value(path, name);
  if (!v || (v->type != 1 && v->type != 2)) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 1 < v->data.size(); i += 2)
    text.push_back(static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8)));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return utf16_to_utf8(text);
}

std::vector<std::string> Registry::value_names(std::string_view path) const {
  std::vector<std::string> out;
  if (auto key = find_path(path))
    for (const auto &v : key->values) out.push_back(v.name);
  return out;
}

std::string Registry::type_name(std::uint32_t type) {
  switch (type) {
    case 0:
      return "REG_NONE";
    case 1:
      return "REG_SZ";
    case 2:
      return "REG_EXPAND_SZ";
    case 3:
      return "REG_BINARY";
    case 4:
      return "REG_DWORD";
    case 5:
      return "REG_DWORD_BIG_ENDIAN";
    case 6:
      return "REG_LINK";
    case 7:
      return "REG_MULTI_SZ";
    case 11:
      return "REG_QWORD";
    default:
      return std::to_string(type);
  }
}

}  // namespace winsim
