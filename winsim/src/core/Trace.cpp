#include "winsim/Trace.h"

#include <cstdio>

namespace winsim {

void Trace::add(std::uint64_t t, std::uint32_t pid, std::uint32_t tid, std::string_view kind,
                Record fields) {
  Record r;
  r["t"] = t;
  r["pid"] = pid;
  r["tid"] = tid;
  r["kind"] = std::string(kind);
  for (auto &[key, value] : fields.items()) r[key] = value;
  for (TraceSink *sink : sinks_) sink->take(r);
  if (keep_) records_.push_back(std::move(r));
}

void Trace::finish() {
  std::vector<TraceSink *> sinks;
  sinks.swap(sinks_);
  for (TraceSink *sink : sinks) sink->finish();
}

std::vector<Trace::Record> Trace::of_kind(std::string_view kind) const {
  std::vector<Record> out;
  for (const auto &r : records_)
    if (r["kind"] == kind) out.push_back(r);
  return out;
}

std::vector<Trace::Record> Trace::select(std::string_view kind,
                                         const std::vector<std::string> &fields) const {
  std::vector<Record> out;
  for (const auto &r : records_) {
    if (r["kind"] != kind) continue;
    Record s = Record::object();
    for (const auto &f : fields)
      if (r.contains(f)) s[f] = r[f];
    out.push_back(std::move(s));
  }
  return out;
}

std::string Trace::dump(const Record &record) {
  return record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string Trace::jsonl() const {
  std::string out;
  for (const auto &r : records_) {
    out += dump(r);
    out += '\n';
  }
  return out;
}

std::string Trace::timeline() const {
  std::string out;
  for (const auto &r : records_) out += timeline_line(r);
  return out;
}

std::string Trace::timeline_line(const Record &r) {
  char head[96];
  std::uint64_t t = r["t"].get<std::uint64_t>();
  std::snprintf(head, sizeof head, "%8llu.%03llu s  pid %-4u tid %-4u ",
                static_cast<unsigned long long>(t / 1000),
                static_cast<unsigned long long>(t % 1000), r["pid"].get<unsigned>(),
                r["tid"].get<unsigned>());
  std::string out = head;
  out += r["kind"].get<std::string>();
  bool event = r["kind"] == "event";
  for (auto &[key, value] : r.items()) {
    if (key == "t" || key == "pid" || key == "tid" || key == "kind") continue;
    out += "  ";
    out += key;
    out += '=';
    if (event && key == "id" && value.is_number_unsigned()) {
      // Event ids are read by their severity bits and message number: hexadecimal.
      char id[16];
      std::snprintf(id, sizeof id, "0x%08X", value.get<unsigned>());
      out += id;
    } else {
      out += value.is_string() ? value.get<std::string>() : dump(value);
    }
  }
  out += '\n';
  return out;
}

}  // namespace winsim
