// What norvane-scan decides outside the terminal and the network: the JSON
// Lines events of --watch, the exit status of a run, and the colours and
// language the environment asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "json_lines.h"
#include "model/device_table.h"

namespace norvane::tool {

// The device lines of a watch as events: each call appends one line per
// shown row that appeared ("new"), changed ("changed") or left ("gone", a
// device that said goodbye or a row no longer shown) since the call before,
// each line the device's own with "event" and "time" in front.
class DeviceEvents {
 public:
  void update(const DeviceTable& table, std::span<const std::size_t> shown, std::string_view time,
              std::string& out);

 private:
  struct Seen {
    std::string line;      // the device line last reported
    std::string compared;  // the part of it whose change is reported
    bool gone = false;
    std::uint64_t round = 0;
  };
  // Row index -> what was reported of it; never more entries than rows.
  std::unordered_map<std::size_t, Seen> seen_;
  std::uint64_t round_ = 0;
};

// What a run achieved, for its exit status.
struct RunOutcome {
  bool probing = false;   // it was to send probes (not --passive)
  bool sent = false;      // a search sent at least one probe
  bool captured = false;  // a capture back-end ran
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // nothing could be done
inline constexpr int kExitUsage = 2;

// 0 when the run did something of what was asked, else 1 with the reason.
int exit_status(const RunOutcome& outcome, std::string& reason);

enum class ColourMode { kNone, k256, kTrueColour };
// NO_COLOR (any non-empty value) or no terminal: none; COLORTERM
// "truecolor" or "24bit": 24-bit; otherwise the 256-colour palette.
ColourMode colour_mode(bool terminal, const char* no_color, const char* colorterm);

// Polish when the first set of LC_ALL, LC_MESSAGES and LANG names Polish
// ("pl", "pl_PL.UTF-8"); English otherwise, "C" and "POSIX" included.
bool polish_locale(const char* lc_all, const char* lc_messages, const char* lang);

}  // namespace norvane::tool
