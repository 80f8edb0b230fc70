#include "scenario/TimelineView.h"

#include <sstream>

#include "scenario/CodeNames.h"
#include "scenario/TimelineSink.h"

namespace scenario {
namespace {

// ---- The verb --------------------------------------------------------------------------------

bool is_record_kind(const std::string &kind) {
  for (std::string_view known : TimelineText::kinds())
    if (known == kind) return true;
  return false;
}

// A kind the trace never holds would hide nothing: a misspelt kind is refused.
std::string unknown_kind(const std::string &kind) {
  std::string_view meant = closest_name(kind, TimelineText::kinds());
  return "timeline hide: no record kind \"" + kind + "\" (" +
         (meant.empty() ? "known: " + joined(TimelineText::kinds())
                        : "did you mean " + std::string(meant) + "?") +
         ")";
}

void timeline(winsim::World &world, const Line &line) {
  TimelineView &view = world.part<TimelineView>();
  const std::string &what = line.word(1, "timeline setting (changes, fold, blinks or hide)");
  if (what == "changes") {
    line.no_more_than(1);
    view.changes = true;
  } else if (what == "fold") {
    line.no_more_than(1);
    view.fold = true;
  } else if (what == "blinks") {
    line.no_more_than(1);
    view.blinks = true;
  } else if (what == "hide") {
    line.word(2, "record kind");
    for (std::size_t i = 2; i < line.words.size(); ++i) {
      const std::string &kind = line.words[i];
      if (!is_record_kind(kind)) throw LineError(unknown_kind(kind));
      view.hidden.insert(kind);
    }
  } else {
    throw LineError("timeline: unknown setting \"" + what + "\" (changes, fold, blinks or hide)");
  }
}

}  // namespace

std::string timeline_text(const winsim::Trace &trace, const TimelineView &view) {
  std::ostringstream out;
  TimelineSink sink(out, view);
  for (const auto &record : trace.records()) sink.take(record);
  sink.finish();
  return out.str();
}

void add_timeline_verbs(Verbs &verbs) {
  verbs.add("timeline", timeline,
            "timeline changes\ntimeline fold\ntimeline blinks\ntimeline hide <kind>...");
}

}  // namespace scenario
