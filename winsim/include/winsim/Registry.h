// The simulated registry: keys under HKEY_LOCAL_MACHINE, the logged-on user's hive and the
// hive of the system account, names compared without regard to case, values stored as Windows
// stores them (strings as UTF-16).
//
// HKEY_CURRENT_USER is the hive of the user a process runs as: the logged-on user's for the
// programs of the user's session, the system account's (HKEY_USERS\.DEFAULT) for services and
// the processes they start.
//
// Control-face paths start with the root: "HKLM\SOFTWARE\..." (also "HKEY_LOCAL_MACHINE\..."),
// "HKCU\..." (also "HKEY_CURRENT_USER\...") for the logged-on user, and "HKU\.DEFAULT\..."
// (also "HKEY_USERS\...") for the system account. Changes made here are set-up, not program
// behaviour, and are not traced.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct RegValue {
  std::string name;  // UTF-8, as first written
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class RegKey {
 public:
  RegKey(std::string key_name, std::string full_path, RegKey *parent_key)
      : name(std::move(key_name)), path(std::move(full_path)), parent(parent_key) {}

  std::shared_ptr<RegKey> child(std::string_view child_name) const;
  RegValue *value(std::string_view value_name);
  bool remove_value(std::string_view value_name);

  std::string name;
  std::string path;  // "HKLM\SOFTWARE\...", with the case of creation
  RegKey *parent;
  std::vector<std::shared_ptr<RegKey>> subkeys;
  std::vector<RegValue> values;
  bool deleted = false;
  bool deny_full_access = false;
  bool hive = false;  // the root of a user's hive below HKEY_USERS: never deleted
};

class Registry {
 public:
  Registry();

  void create_key(std::string_view path);
  void set_value(std::string_view path, std::string_view name, std::uint32_t type,
                 std::vector<std::uint8_t> data);
  void set_dword(std::string_view path, std::string_view name, std::uint32_t value);
  // REG_SZ or REG_EXPAND_SZ from UTF-8, stored as UTF-16 with its terminator.
  void set_string(std::string_view path, std::string_view name, std::string_view utf8,
                  std::uint32_t type = 1);
  void set_multi_string(std::string_view path, std::string_view name,
                        const std::vector<std::string> &items);
  bool delete_value(std::string_view path, std::string_view name);
  // Deletes a key with everything below it.
  bool delete_tree(std::string_view path);
  // The key opens for reading but refuses every request for write access (ERROR_ACCESS_DENIED).
  void deny_full_access(std::string_view path, bool deny = true);

  bool key_exists(std::string_view path) const;
  std::optional<RegValue> value(std::string_view path, std::string_view name) const;
  std::optional<std::uint32_t> dword(std::string_view path, std::string_view name) const;
  std::optional<std::string> string(std::string_view path, std::string_view name) const;
  std::vector<std::string> value_names(std::string_view path) const;

  // Internals used by the registry functions.
  std::shared_ptr<RegKey> root(std::string_view root_name) const;
  // The hive HKEY_CURRENT_USER stands for: the system account's or the logged-on user's.
  std::shared_ptr<RegKey> current_user(bool system_account) const;
  std::shared_ptr<RegKey> find(const std::shared_ptr<RegKey> &base,
                               std::string_view relative) const;
  std::shared_ptr<RegKey> create(const std::shared_ptr<RegKey> &base, std::string_view relative,
                                 bool *created);
  std::shared_ptr<RegKey> find_path(std::string_view path) const;
  static void mark_deleted(RegKey &key);
  // Text form of a value's data for the trace: number, string, list of strings or hex.
  static std::string type_name(std::uint32_t type);

 private:
  std::shared_ptr<RegKey> hklm_;
  std::shared_ptr<RegKey> hkcu_;
  std::shared_ptr<RegKey> hku_;
};

}  // namespace winsim
