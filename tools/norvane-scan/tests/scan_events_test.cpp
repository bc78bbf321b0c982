#include "scan_events.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/list_model.h"
#include "vendors/vendor_table.h"

namespace norvane::tool {
namespace {

PacketSummary answer(const char* ip, const char* mac, const char* name, bool departure = false) {
  PacketSummary s;
  s.protocol = "SSDP";
  s.ip = ip;
  s.mac = mac;
  s.name = name;
  s.departure = departure;
  return s;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(ScanEvents, AWatchReportsEachDeviceOnceItAppearsChangesAndLeaves) {
  VendorTable vendors;
  DeviceTable table(vendors);
  ListModel list(table);
  table.set_presenter(&list);
  DeviceEvents events;
  struct Step {
    std::vector<PacketSummary> merged;
    std::vector<std::string> prefixes;  // each line's start, in order
  } const steps[] = {
      {{answer("192.168.1.20", "00:11:22:33:44:55", "cam-a")},
       {R"({"event":"new","time":"T1","ip":"192.168.1.20")"}},
      {{answer("192.168.1.20", "00:11:22:33:44:55", "cam-a")}, {}},  // nothing new: no line
      {{answer("192.168.1.20", "00:11:22:33:44:55", "cam-b"),
        answer("192.168.1.21", "00:11:22:33:44:66", "nvr")},
       {R"({"event":"changed","time":"T3","ip":"192.168.1.20")",
        R"({"event":"new","time":"T3","ip":"192.168.1.21")"}},
      {{answer("192.168.1.21", "00:11:22:33:44:66", "nvr", true)},
       {R"({"event":"gone","time":"T4","ip":"192.168.1.21")"}},
  };
  int tick = 0;
  for (const auto& step : steps) {
    const std::string time = "T" + std::to_string(++tick);
    // Heard again at every step: the last time alone is no change.
    table.set_merge_time(1796870511000 + tick * 200);
    for (const auto& s : step.merged) table.merge(s);
    std::string out;
    events.update(table, list.shown_rows(), time, out);
    const auto got = lines(out);
    ASSERT_EQ(got.size(), step.prefixes.size()) << time << ": " << out;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].rfind(step.prefixes[i], 0), 0u) << time << ": " << got[i];
    }
  }
  table.set_presenter(nullptr);
}

TEST(ScanEvents, TheEnvironmentChoosesColourAndLanguage) {
  struct Colour {
    bool terminal;
    const char* no_color;
    const char* colorterm;
    ColourMode expected;
  } const colours[] = {
      {false, nullptr, "truecolor", ColourMode::kNone},
      {true, "1", "truecolor", ColourMode::kNone},
      {true, "", "truecolor", ColourMode::kTrueColour},
      {true, nullptr, "24bit", ColourMode::kTrueColour},
      {true, nullptr, nullptr, ColourMode::k256},
      {true, nullptr, "yes", ColourMode::k256},
  };
  for (const auto& c : colours) {
    EXPECT_EQ(colour_mode(c.terminal, c.no_color, c.colorterm), c.expected)
        << c.terminal << " " << (c.colorterm ? c.colorterm : "-");
  }
  struct Locale {
    const char *all, *messages, *lang;
    bool polish;
  } const locales[] = {
      {nullptr, nullptr, "pl_PL.UTF-8", true}, {"C", nullptr, "pl_PL.UTF-8", false},
      {"", "pl", "en_US.UTF-8", true},         {nullptr, nullptr, nullptr, false},
      {nullptr, nullptr, "plt_XX", false},     {nullptr, "en_GB.UTF-8", "pl_PL", false},
  };
  for (const auto& l : locales) {
    EXPECT_EQ(polish_locale(l.all, l.messages, l.lang), l.polish) << (l.lang ? l.lang : "-");
  }
}

TEST(ScanEvents, TheExitStatusSaysWhetherAnythingWasDone) {
  struct Case {
    RunOutcome outcome;
    int expected;
  } const cases[] = {
      {{.probing = true, .sent = true, .captured = false}, kExitOk},
      {{.probing = true, .sent = false, .captured = true}, kExitOk},
      {{.probing = true, .sent = false, .captured = false}, kExitFailed},
      {{.probing = false, .sent = false, .captured = true}, kExitOk},
      {{.probing = false, .sent = false, .captured = false}, kExitFailed},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(exit_status(c.outcome, reason), c.expected);
    EXPECT_EQ(reason.empty(), c.expected == kExitOk);
  }
}

}  // namespace
}  // namespace norvane::tool
