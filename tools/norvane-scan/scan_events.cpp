#include "scan_events.h"

#include "json_lines.h"

namespace norvane::tool {

namespace {

void append_event(std::string& out, std::string_view event, std::string_view time,
                  std::string_view line) {
  out += "{\"event\":\"";
  out += event;
  out += "\",\"time\":\"";
  out += time;
  out += "\",";
  // The device line's own members follow its opening brace.
  out += line.substr(1);
}

}  // namespace

void DeviceEvents::update(const DeviceTable& table, std::span<const std::size_t> shown,
                          std::string_view time, std::string& out) {
  ++round_;
  std::string line;
  for (const std::size_t row : shown) {
    if (row >= table.size()) continue;
    const DeviceRow& device = table.row(row);
    line.clear();
    append_device_line(line, device);
    // A device heard again with nothing new is no change: its last time
    // alone does not count.
    const std::size_t last = line.find(",\"last_seen\":\"");
    const std::string_view compared =
        last == std::string::npos ? std::string_view(line) : std::string_view(line).substr(0, last);
    auto [it, inserted] = seen_.try_emplace(row);
    Seen& seen = it->second;
    seen.round = round_;
    if (!inserted && seen.compared == compared) continue;
    const char* event = inserted ? "new" : device.gone && !seen.gone ? "gone" : "changed";
    append_event(out, event, time, line);
    seen.line = line;
    seen.compared = compared;
    seen.gone = device.gone;
  }
  for (auto it = seen_.begin(); it != seen_.end();) {
    if (it->second.round == round_) {
      ++it;
      continue;
    }
    if (!it->second.gone) append_event(out, "gone", time, it->second.line);
    it = seen_.erase(it);
  }
}

int exit_status(const RunOutcome& outcome, std::string& reason) {
  if (outcome.captured || (outcome.probing && outcome.sent)) return kExitOk;
  reason =
      outcome.probing ? "no probe could be sent and nothing was captured" : "nothing was captured";
  return kExitFailed;
}

ColourMode colour_mode(bool terminal, const char* no_color, const char* colorterm) {
  if (!terminal || (no_color && no_color[0] != '\0')) return ColourMode::kNone;
  const std::string_view term = colorterm ? colorterm : "";
  return term == "truecolor" || term == "24bit" ? ColourMode::kTrueColour : ColourMode::k256;
}

bool polish_locale(const char* lc_all, const char* lc_messages, const char* lang) {
  for (const char* value : {lc_all, lc_messages, lang}) {
    if (!value || value[0] == '\0') continue;
    const std::string_view name = value;
    return name.substr(0, 2) == "pl" &&
           (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
  }
  return false;
}

}  // namespace norvane::tool
