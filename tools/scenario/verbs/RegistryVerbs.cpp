// reg: set-up and changes of the registry by someone outside the programs (an installer,
// a sibling service, the administrator). Paths start with their root: HKLM\..., HKCU\... or
// HKU\.DEFAULT\... (the system account's hive).
#include <string>
#include <vector>

#include "scenario/verbs/CoreVerbs.h"
#include "winsim/Registry.h"

namespace scenario {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;

// The key path of words[index], refused unless it starts with a root the registry knows.
const std::string &key_path(winsim::World &world, const Line &line, std::size_t index) {
  const std::string &path = line.word(index, "key path (for example HKLM\\SOFTWARE\\Norvane)");
  std::string root = path.substr(0, path.find('\\'));
  if (!world.registry().root(root))
    throw LineError("reg: \"" + path +
                    "\" does not start with a registry root (HKLM, HKCU, HKU, HKEY_LOCAL_MACHINE, "
                    "HKEY_CURRENT_USER or HKEY_USERS)");
  return path;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::uint8_t> hex_bytes(const std::string &text) {
  if (text.size() % 2 != 0)
    throw LineError("reg set: binary data \"" + text + "\" has an odd number of hex digits");
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = hex_digit(text[i]);
    int low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0)
      throw LineError("reg set: binary data \"" + text +
                      "\" is not hex digits (for example 0a1b2c)");
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return out;
}

std::vector<std::string> multi_sz_items(const std::string &text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t i = 0;
  for (;;) {
    std::size_t bar = text.find('|', i);
    std::string item = text.substr(i, bar == std::string::npos ? std::string::npos : bar - i);
    if (item.empty())
      throw LineError("reg set: multi_sz data \"" + text +
                      "\" has an empty item (items are separated by |)");
    items.push_back(std::move(item));
    if (bar == std::string::npos) return items;
    i = bar + 1;
  }
}

void set_value(winsim::World &world, const Line &line) {
  const std::string &path = key_path(world, line, 2);
  const std::string &name = line.word(3, "value name (\"\" for the default value)");
  const std::string &type = line.word(4, "value type (dword, sz, expand_sz, multi_sz or binary)");
  const std::string &data = line.word(5, "value data");
  line.no_more_than(5);
  winsim::Registry &registry = world.registry();
  if (type == "dword") {
    registry.set_dword(path, name, parse_u32(data, "dword data"));
  } else if (type == "sz") {
    registry.set_string(path, name, data, kRegSz);
  } else if (type == "expand_sz") {
    registry.set_string(path, name, data, kRegExpandSz);
  } else if (type == "multi_sz") {
    registry.set_multi_string(path, name, multi_sz_items(data));
  } else if (type == "binary") {
    registry.set_value(path, name, kRegBinary, hex_bytes(data));
  } else {
    throw LineError("reg set: unknown value type \"" + type +
                    "\" (dword, sz, expand_sz, multi_sz or binary)");
  }
}

void create_key(winsim::World &world, const Line &line) {
  const std::string &path = key_path(world, line, 2);
  line.no_more_than(2);
  world.registry().create_key(path);
}

// Deleting what is not there is no error: a program may have removed it already.
void delete_entry(winsim::World &world, const Line &line) {
  const std::string &path = key_path(world, line, 2);
  line.no_more_than(3);
  if (line.words.size() == 4) {
    world.registry().delete_value(path, line.words[3]);
    return;
  }
  if (path.find_first_not_of('\\', path.find('\\')) == std::string::npos)
    throw LineError("reg delete: \"" + path + "\" is a root key and cannot be deleted");
  world.registry().delete_tree(path);
}

void deny(winsim::World &world, const Line &line) {
  const std::string &path = key_path(world, line, 2);
  line.no_more_than(2);
  world.registry().deny_full_access(path);
}

void reg(winsim::World &world, const Line &line) {
  const std::string &action = line.word(1, "action (set, key, delete or deny)");
  if (action == "set") return set_value(world, line);
  if (action == "key") return create_key(world, line);
  if (action == "delete") return delete_entry(world, line);
  if (action == "deny") return deny(world, line);
  throw LineError("reg: unknown action \"" + action + "\" (set, key, delete or deny)");
}

}  // namespace

void add_registry_verbs(Verbs &verbs) {
  verbs.add("reg", reg,
            "reg set <ROOT\\path> <name> <type> <data>\n"
            "reg key <ROOT\\path>\nreg delete <ROOT\\path> [<name>]\nreg deny <ROOT\\path>");
}

}  // namespace scenario
