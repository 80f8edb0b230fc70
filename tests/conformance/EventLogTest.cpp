// The event-log writer as Quillet uses it: register a source, report an event with one string,
// deregister; and the refusals. Wine's event log is a stub that takes every call (any source,
// any handle) and keeps nothing, so the refusals, which the event log service makes on Windows,
// are asserted only outside Wine.
#include "Conformance.h"

namespace {

using conformance::kMarker;
using conformance::LoggedEvent;

class EventLog : public conformance::Fixture {};

TEST_F(EventLog, ASourceReportsEventsUntilDeregisteredLeavingTheLastErrorAlone) {
  SetLastError(kMarker);
  HANDLE source = RegisterEventSourceA(nullptr, "NorvaneConformance");
  ASSERT_NE(source, nullptr);
  // "監視開始" in code page 932: the strings are stored as reported.
  const char *strings[] = {"\x8a\xc4\x8e\x8b\x8a\x4a\x8e\x6e"};
  EXPECT_TRUE(
      ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 0x1234, nullptr, 1, 0, strings, nullptr));
  EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));
  EXPECT_EQ(GetLastError(), kMarker);

  std::vector<LoggedEvent> expected = {
      {"NorvaneConformance", EVENTLOG_WARNING_TYPE, 0x1234, {strings[0]}},
      {"NorvaneConformance", EVENTLOG_ERROR_TYPE, 0, {}}};
  EXPECT_EQ(conformance::LoggedEvents(),
            conformance::UnderWine() ? std::vector<LoggedEvent>() : expected);
  if (conformance::UnderWine()) return;

  // A deregistered, a null or a never registered source is an invalid handle.
  const char *one[] = {"x"};
  for (HANDLE bad : {source, static_cast<HANDLE>(nullptr)}) {
    if (conformance::HandleMisuseStops()) break;
    SetLastError(kMarker);
    EXPECT_FALSE(ReportEventA(bad, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, one, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kMarker);
    EXPECT_FALSE(DeregisterEventSource(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(conformance::LoggedEvents().size(), 2u);
  // No source name is an invalid parameter; the Security log is the system's alone, as the
  // documentation of RegisterEventSource says.
  const std::pair<const char *, DWORD> refusals[] = {{nullptr, ERROR_INVALID_PARAMETER},
                                                     {"Security", ERROR_ACCESS_DENIED}};
  for (const auto &[name, error] : refusals) {
    SetLastError(kMarker);
    EXPECT_EQ(RegisterEventSourceA(nullptr, name), nullptr);
    EXPECT_EQ(GetLastError(), error);
  }
}

}  // namespace
