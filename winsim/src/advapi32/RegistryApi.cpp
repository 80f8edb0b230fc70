// The registry functions, narrow and wide.
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "advapi32/KeyObject.h"
#include "core/Call.h"
#include "core/ObjectNames.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::ObjectType;
using winsim::RegKey;

namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

bool is_string_type(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The predefined root keys, HKEY_CLASSES_ROOT to HKEY_DYN_DATA: 32-bit values sign-extended
// into the handle.
bool is_predefined(HKEY hkey) {
  auto value = static_cast<LONG_PTR>(reinterpret_cast<ULONG_PTR>(hkey));
  return value >= static_cast<LONG>(0x80000000u) && value <= static_cast<LONG>(0x80000006u);
}

// The key a handle stands for, with the access the handle grants. Predefined roots grant all.
struct KeyRef {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
  LSTATUS error = ERROR_SUCCESS;
};

KeyRef key_of(Call &call, HKEY hkey) {
  KeyRef ref;
  winsim::Registry &registry = call.world.registry();
  if (hkey == HKEY_LOCAL_MACHINE || hkey == HKEY_CURRENT_USER || hkey == HKEY_USERS) {
    if (hkey == HKEY_LOCAL_MACHINE)
      ref.key = registry.root("HKLM");
    else if (hkey == HKEY_USERS)
      ref.key = registry.root("HKU");
    else  // services and what they start run as the system account
      ref.key = registry.current_user(winsim::session_of(call.world, call.process) == 0);
    ref.access = KEY_ALL_ACCESS;
    return ref;
  }
  if (is_predefined(hkey)) {
    ref.error = ERROR_FILE_NOT_FOUND;  // roots this machine does not simulate
    return ref;
  }
  auto *entry = call.process.handles.find(reinterpret_cast<HANDLE>(hkey));
  if (entry == nullptr || entry->object->type() != ObjectType::Key) {
    ref.error = ERROR_INVALID_HANDLE;  // a fault of the program once the fault plan is asked
    return ref;
  }
  ref.key = static_cast<winsim::KeyObject &>(*entry->object).key;
  ref.access = entry->access;
  if (ref.key->deleted) ref.error = ERROR_KEY_DELETED;
  return ref;
}

// What a call on the key returns when it cannot go on: the key's own refusal (deleted, a root
// not simulated), or, for a handle that is no open key, a stop as a fault of the program (see
// handle_misuse).
LSTATUS refusal(Call &call, HKEY hkey, const KeyRef &ref) {
  if (ref.error == ERROR_INVALID_HANDLE) {
    auto h = reinterpret_cast<HANDLE>(hkey);
    winsim::handle_misuse(call, h, winsim::object_of(call, h).get(), "a registry key");
  }
  return ref.error;
}

std::string join(const std::string &base, const std::string &relative) {
  std::string path = base;
  size_t i = 0;
  while (i < relative.size()) {
    size_t j = relative.find('\\', i);
    if (j == std::string::npos) j = relative.size();
    if (j > i) path += "\\" + relative.substr(i, j - i);
    i = j + 1;
  }
  return path;
}

LSTATUS open_key(Call &call, HKEY hkey, const std::string &subkey, REGSAM sam, PHKEY out) {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  *out = nullptr;
  KeyRef base = key_of(call, hkey);
  std::string path = base.key ? join(base.key->path, subkey) : subkey;
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (base.error != ERROR_SUCCESS) return refusal(call, hkey, base);
  if (!subkey.empty() && subkey[0] == '\\') return ERROR_BAD_PATHNAME;
  auto key = call.world.registry().find(base.key, subkey);
  if (!key) return ERROR_FILE_NOT_FOUND;
  sam &= ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (key->deny_full_access && (sam & kWriteRights)) return ERROR_ACCESS_DENIED;
  auto object = std::make_shared<winsim::KeyObject>(key);
  *out = reinterpret_cast<HKEY>(call.process.handles.insert(object, sam, false));
  return ERROR_SUCCESS;
}

// The deepest existing key on `relative` below `base`: the one a new key is created in.
std::shared_ptr<RegKey> parent_for_new(const std::shared_ptr<RegKey> &base,
                                       const std::string &relative) {
  std::shared_ptr<RegKey> key = base;
  size_t i = 0;
  while (i < relative.size()) {
    size_t j = relative.find('\\', i);
    if (j == std::string::npos) j = relative.size();
    if (j > i) {
      auto next = key->child(relative.substr(i, j - i));
      if (!next) break;
      key = next;
    }
    i = j + 1;
  }
  return key;
}

// The options a key is created with: volatile, a link, backup and restore, opening a link,
// not virtualized (0x1, 0x2, 0x4, 0x8, 0x10); other bits make the call an invalid parameter.
constexpr DWORD kKnownKeyOptions = 0x1F;

LSTATUS create_key(Call &call, HKEY hkey, const std::string &subkey, DWORD reserved, DWORD options,
                   REGSAM sam, PHKEY out, LPDWORD disposition) {
  if (reserved != 0) return ERROR_INVALID_PARAMETER;  // reserved: must be zero
  if (options & ~kKnownKeyOptions) return ERROR_INVALID_PARAMETER;
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  *out = nullptr;
  KeyRef base = key_of(call, hkey);
  std::string path = base.key ? join(base.key->path, subkey) : subkey;
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (base.error != ERROR_SUCCESS) return refusal(call, hkey, base);
  if (!subkey.empty() && subkey[0] == '\\') return ERROR_BAD_PATHNAME;
  winsim::Registry &registry = call.world.registry();
  sam &= ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (auto existing = registry.find(base.key, subkey)) {
    if (existing->deny_full_access && (sam & kWriteRights)) return ERROR_ACCESS_DENIED;
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    *out = reinterpret_cast<HKEY>(
        call.process.handles.insert(std::make_shared<winsim::KeyObject>(existing), sam, false));
    return ERROR_SUCCESS;
  }
  // Creating is checked against the key that receives the new one, not against the access of
  // the handle it is named from: a read-only handle may create keys where the key allows it.
  if (parent_for_new(base.key, subkey)->deny_full_access) return ERROR_ACCESS_DENIED;
  bool created = false;
  auto key = registry.create(base.key, subkey, &created);
  winsim::Trace::Record r;
  r["key"] = key->path;
  call.world.record("reg.create", std::move(r));
  if (disposition != nullptr) *disposition = REG_CREATED_NEW_KEY;
  *out = reinterpret_cast<HKEY>(
      call.process.handles.insert(std::make_shared<winsim::KeyObject>(key), sam, false));
  return ERROR_SUCCESS;
}

// Stored string data (UTF-16 bytes) in the world's code page, terminators kept.
std::string to_narrow(Call &call, const std::vector<std::uint8_t> &data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  std::string out;
  size_t start = 0;
  // Convert piecewise so embedded terminators survive.
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\0') {
      out +=
          winsim::from_utf8(winsim::utf16_to_utf8(text.substr(start, i - start)), call.world.acp());
      if (i < text.size()) out.push_back('\0');
      start = i + 1;
    }
  }
  return out;
}

std::vector<std::uint8_t> from_narrow(Call &call, const BYTE *data, DWORD size) {
  std::string bytes(reinterpret_cast<const char *>(data), size);
  std::vector<std::uint8_t> out;
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); ++i) {
    if (i == bytes.size() || bytes[i] == '\0') {
      std::u16string piece =
          winsim::utf8_to_utf16(winsim::to_utf8(bytes.substr(start, i - start), call.world.acp()));
      if (i < bytes.size()) piece.push_back(u'\0');
      for (char16_t c : piece) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
      }
      start = i + 1;
    }
  }
  return out;
}

winsim::Trace::Record data_for_trace(DWORD type, const std::vector<std::uint8_t> &data) {
  if ((type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) && data.size() == 4) {
    std::uint32_t v = static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                                 (static_cast<std::uint32_t>(data[3]) << 24));
    if (type == REG_DWORD_BIG_ENDIAN) v = __builtin_bswap32(v);
    return v;
  }
  if (type == REG_QWORD && data.size() == 8) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | data[static_cast<size_t>(i)];
    return v;
  }
  if (is_string_type(type)) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2)
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    if (type == REG_MULTI_SZ) {
      winsim::Trace::Record items = winsim::Trace::Record::array();
      size_t start = 0;
      for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\0') {
          if (i == start) break;
          items.push_back(winsim::utf16_to_utf8(text.substr(start, i - start)));
          start = i + 1;
        }
      return items;
    }
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return winsim::utf16_to_utf8(text);
  }
  static const char *hex = "0123456789abcdef";
  std::string out;
  for (auto b : data) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 15]);
  }
  return out;
}

std::uint16_t unit_at(const BYTE *data, size_t index) {
  std::uint16_t unit;
  std::memcpy(&unit, data + index * 2, 2);
  return unit;
}

// Whether the `count` bytes after the caller's data are zero. Windows reads them even though
// they lie outside the given size; under AddressSanitizer bytes outside the caller's object
// count as not zero, so the look does not report the program.
bool zeros_follow(const BYTE *end, size_t count) {
#if defined(__SANITIZE_ADDRESS__)
  if (__asan_region_is_poisoned(const_cast<BYTE *>(end), count) != nullptr) return false;
#endif
  for (size_t i = 0; i < count; ++i)
    if (end[i] != 0) return false;
  return true;
}

// A string counted without its terminator gets it when the terminator follows in the caller's
// memory, as Windows does for callers that pass the length of the text alone.
DWORD counted_size(DWORD type, const BYTE *data, DWORD size, bool narrow) {
  if (data == nullptr || size == 0 || !is_string_type(type)) return size;
  if (narrow) return data[size - 1] != 0 && zeros_follow(data + size, 1) ? size + 1 : size;
  size_t units = size / 2;
  if (units == 0) return size;
  return unit_at(data, units - 1) != 0 && zeros_follow(data + units * 2, 2) ? size + 2 : size;
}

// A string read into a buffer with room to spare is terminated after its stored bytes when
// those lack a terminator.
void terminate_in_buffer(DWORD type, BYTE *data, DWORD length, DWORD buffer_size, bool narrow) {
  if (!is_string_type(type)) return;
  if (narrow) {
    if (length > 0 && length < buffer_size && data[length - 1] != 0) data[length] = 0;
    return;
  }
  if (length >= 2 && length + 2 <= buffer_size && unit_at(data + length - 2, 0) != 0) {
    data[length] = 0;
    data[length + 1] = 0;
  }
}

LSTATUS query_value(Call &call, HKEY hkey, const std::string &name, LPDWORD reserved, LPDWORD type,
                    LPBYTE data, LPDWORD size, bool narrow) {
  KeyRef ref = key_of(call, hkey);
  std::string path = ref.key ? ref.key->path : std::string();
  if (auto e = call.fault({path, name}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (ref.error != ERROR_SUCCESS) return refusal(call, hkey, ref);
  if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  winsim::RegValue *value = ref.key->value(name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  std::string converted;
  const std::uint8_t *bytes = value->data.data();
  DWORD length = static_cast<DWORD>(value->data.size());
  if (narrow && is_string_type(value->type)) {
    converted = to_narrow(call, value->data);
    bytes = reinterpret_cast<const std::uint8_t *>(converted.data());
    length = static_cast<DWORD>(converted.size());
  }
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return ERROR_SUCCESS;
  if (data == nullptr) {
    *size = length;
    return ERROR_SUCCESS;
  }
  if (*size < length) {
    *size = length;
    return ERROR_MORE_DATA;
  }
  if (length > 0) std::memcpy(data, bytes, length);
  terminate_in_buffer(value->type, data, length, *size, narrow);
  *size = length;
  return ERROR_SUCCESS;
}

LSTATUS set_value(Call &call, HKEY hkey, const std::string &name, DWORD reserved, DWORD type,
                  const BYTE *data, DWORD size, bool narrow) {
  if (reserved != 0) return ERROR_INVALID_PARAMETER;  // reserved: must be zero
  KeyRef ref = key_of(call, hkey);
  std::string path = ref.key ? ref.key->path : std::string();
  if (auto e = call.fault({path, name}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (ref.error != ERROR_SUCCESS) return refusal(call, hkey, ref);
  if (data == nullptr && size != 0) return ERROR_NOACCESS;
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  size = counted_size(type, data, size, narrow);
  std::vector<std::uint8_t> stored;
  if (narrow && is_string_type(type))
    stored = from_narrow(call, data, size);
  else if (data != nullptr)
    stored.assign(data, data + size);
  if (winsim::RegValue *existing = ref.key->value(name)) {
    existing->type = type;
    existing->data = stored;
  } else {
    ref.key->values.push_back(winsim::RegValue{name, type, stored});
  }
  winsim::Trace::Record r;
  r["key"] = ref.key->path;
  r["name"] = name;
  r["type"] = winsim::Registry::type_name(type);
  r["data"] = data_for_trace(type, stored);
  r["size"] = stored.size();
  call.world.record("reg.set", std::move(r));
  return ERROR_SUCCESS;
}

LSTATUS delete_value(Call &call, HKEY hkey, const std::string &name) {
  KeyRef ref = key_of(call, hkey);
  std::string path = ref.key ? ref.key->path : std::string();
  if (auto e = call.fault({path, name}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (ref.error != ERROR_SUCCESS) return refusal(call, hkey, ref);
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!ref.key->remove_value(name)) return ERROR_FILE_NOT_FOUND;
  winsim::Trace::Record r;
  r["key"] = ref.key->path;
  r["name"] = name;
  call.world.record("reg.delete", std::move(r));
  return ERROR_SUCCESS;
}

LSTATUS delete_key(Call &call, HKEY hkey, const char *subkey_given, const std::string &subkey) {
  KeyRef base = key_of(call, hkey);
  std::string path = base.key ? join(base.key->path, subkey) : subkey;
  if (auto e = call.fault({path}, ERROR_ACCESS_DENIED)) return static_cast<LSTATUS>(*e);
  if (base.error != ERROR_SUCCESS) return refusal(call, hkey, base);
  if (subkey_given == nullptr) return ERROR_INVALID_PARAMETER;
  auto key = call.world.registry().find(base.key, subkey);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (key->parent == nullptr || key->hive || key->deny_full_access || !key->subkeys.empty())
    return ERROR_ACCESS_DENIED;
  auto &siblings = key->parent->subkeys;
  for (auto it = siblings.begin(); it != siblings.end(); ++it)
    if (it->get() == key.get()) {
      siblings.erase(it);
      break;
    }
  winsim::Registry::mark_deleted(*key);
  winsim::Trace::Record r;
  r["key"] = key->path;
  call.world.record("reg.delete", std::move(r));
  return ERROR_SUCCESS;
}

// RegOpenKeyEx documents no option but REG_OPTION_OPEN_LINK, and winsim has no symbolic links.
void refuse_open_options(Call &call, DWORD options) {
  if (options != 0) call.not_simulated("with options other than 0");
}

std::string narrow_text(Call &call, LPCSTR text) {
  return text == nullptr ? std::string() : winsim::to_utf8(text, call.world.acp());
}

std::string wide_text(LPCWSTR text) {
  return text == nullptr ? std::string() : winsim::utf16_to_utf8(text);
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
  Call call("RegOpenKeyExA");
  refuse_open_options(call, ulOptions);
  return open_key(call, hKey, narrow_text(call, lpSubKey), samDesired, phkResult);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
  Call call("RegOpenKeyExW");
  refuse_open_options(call, ulOptions);
  return open_key(call, hKey, wide_text(lpSubKey), samDesired, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  (void)lpClass;
  (void)lpSecurityAttributes;
  Call call("RegCreateKeyExA");
  return create_key(call, hKey, narrow_text(call, lpSubKey), Reserved, dwOptions, samDesired,
                    phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES *lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  (void)lpClass;
  (void)lpSecurityAttributes;
  Call call("RegCreateKeyExW");
  return create_key(call, hKey, wide_text(lpSubKey), Reserved, dwOptions, samDesired, phkResult,
                    lpdwDisposition);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  Call call("RegQueryValueExA");
  return query_value(call, hKey, narrow_text(call, lpValueName), lpReserved, lpType, lpData,
                     lpcbData, true);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  Call call("RegQueryValueExW");
  return query_value(call, hKey, wide_text(lpValueName), lpReserved, lpType, lpData, lpcbData,
                     false);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData) {
  Call call("RegSetValueExA");
  return set_value(call, hKey, narrow_text(call, lpValueName), Reserved, dwType, lpData, cbData,
                   true);
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE *lpData, DWORD cbData) {
  Call call("RegSetValueExW");
  return set_value(call, hKey, wide_text(lpValueName), Reserved, dwType, lpData, cbData, false);
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Call call("RegDeleteValueA");
  return delete_value(call, hKey, narrow_text(call, lpValueName));
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  Call call("RegDeleteValueW");
  return delete_value(call, hKey, wide_text(lpValueName));
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  Call call("RegDeleteKeyA");
  return delete_key(call, hKey, lpSubKey, narrow_text(call, lpSubKey));
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  Call call("RegDeleteKeyW");
  return delete_key(call, hKey, reinterpret_cast<const char *>(lpSubKey), wide_text(lpSubKey));
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  Call call("RegCloseKey");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return static_cast<LSTATUS>(*e);
  if (is_predefined(hKey)) return ERROR_SUCCESS;
  winsim::checked_object(call, reinterpret_cast<HANDLE>(hKey), {ObjectType::Key}, "a registry key");
  winsim::close_handle(call.world, call.process, reinterpret_cast<HANDLE>(hKey));
  return ERROR_SUCCESS;
}
