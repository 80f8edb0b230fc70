// The event-log writer functions.
#include "core/Call.h"
#include "winsim/EventLog.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::ObjectType;

namespace winsim {

class EventSourceObject : public Object {
 public:
  explicit EventSourceObject(std::string source_bytes) : source(std::move(source_bytes)) {}
  ObjectType type() const override { return ObjectType::EventSource; }
  std::string describe() const override { return "event source \"" + source + "\""; }
  std::string source;  // bytes as registered
};

}  // namespace winsim

HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
  Call call("RegisterEventSourceA");
  std::string source = lpSourceName == nullptr ? std::string() : lpSourceName;
  if (auto e = call.fault({winsim::to_utf8(source, call.world.acp())}, RPC_S_SERVER_UNAVAILABLE))
    return call.fail_with<HANDLE>(*e, nullptr);
  if (lpSourceName == nullptr) return call.fail_with<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  if (lpUNCServerName != nullptr && *lpUNCServerName != '\0')
    return call.fail_with<HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);
  if (!call.world.eventlog().available())
    return call.fail_with<HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);
  // The Security log is the system's own: no program reports events to it.
  if (winsim::equal_nocase(source, "Security"))
    return call.fail_with<HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  auto object = std::make_shared<winsim::EventSourceObject>(source);
  return call.process.handles.insert(object, 0, false);
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR *lpStrings,
                         LPVOID lpRawData) {
  (void)lpUserSid;
  Call call("ReportEventA");
  auto &source = *winsim::checked_as<winsim::EventSourceObject>(
      call, hEventLog, ObjectType::EventSource, "an event source handle");
  if (auto e =
          call.fault({winsim::to_utf8(source.source, call.world.acp())}, RPC_S_SERVER_UNAVAILABLE))
    return call.fail(*e);
  if (wNumStrings > 0 && lpStrings == nullptr)
    call.not_simulated("with " + std::to_string(wNumStrings) + " strings and no string array");
  // The data's bytes are read from where lpRawData points: none there is no memory to read.
  if (dwDataSize > 0 && lpRawData == nullptr)
    call.program_fault("with " + std::to_string(dwDataSize) + " bytes of data and no data");
  winsim::EventEntry event;
  event.t = call.world.now();
  event.pid = call.process.pid;
  event.source = source.source;
  event.type = wType;
  event.category = wCategory;
  event.id = dwEventID;
  winsim::Trace::Record strings = winsim::Trace::Record::array();
  for (WORD i = 0; i < wNumStrings; ++i) {
    std::string text = lpStrings[i] == nullptr ? std::string() : lpStrings[i];
    strings.push_back(winsim::to_utf8(text, call.world.acp()));
    event.strings.push_back(std::move(text));
  }
  if (dwDataSize > 0) {
    auto *bytes = static_cast<const std::uint8_t *>(lpRawData);
    event.data.assign(bytes, bytes + dwDataSize);
  }
  winsim::Trace::Record r;
  r["source"] = winsim::to_utf8(event.source, call.world.acp());
  r["type"] = wType;
  r["category"] = wCategory;
  r["id"] = dwEventID;
  r["strings"] = std::move(strings);
  call.world.eventlog().add(std::move(event));
  call.world.record("event", std::move(r));
  return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
  Call call("DeregisterEventSource");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  winsim::checked_object(call, hEventLog, {ObjectType::EventSource}, "an event source handle");
  winsim::close_handle(call.world, call.process, hEventLog);
  return TRUE;
}
