#include "app/discovery_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane {
namespace {

class NullBackend final : public CaptureBackend {
 public:
  std::u16string stream_error() const override { return {}; }
};

class NullEngine final : public ProbeEngineInterface {
 public:
  bool open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, const MacBytes&,
            bool) override {
    return true;
  }
  void close() override {}
  unsigned search() override { return 1; }
  void poll(const ReplyHandler&) override {}
};

// libpcap on one adapter whose link goes down and comes back.
class LinkHost final : public SessionHost {
 public:
  NetworkAdapter adapter;
  bool link_up = true;
  int refusals = 0;  // starts refused after the link is back
  std::uint64_t now = 1000;
  FailureCallback end_capture;
  std::vector<std::string> said;
  int cleared = 0;

  LinkHost() {
    adapter.adapter_name = "eth0";
    adapter.ipv4 = 0x0501A8C0;
    adapter.prefix_length = 24;
  }
  std::optional<NetworkAdapter> selected_adapter() override {
    NetworkAdapter a = adapter;
    a.connected = link_up;
    return a;
  }
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter&, FrameCallback,
                                               std::u16string&) override {
    return nullptr;
  }
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter&, FrameCallback,
                                              FailureCallback failed) override {
    if (!link_up || refusals-- > 0) return nullptr;
    end_capture = std::move(failed);
    return std::make_unique<NullBackend>();
  }
  std::uint64_t now_ms() override { return now; }
  void list_cleared() override { ++cleared; }
  void capture_lost(const NetworkAdapter& a) override { said.push_back("lost " + a.adapter_name); }
  void capture_resumed(const NetworkAdapter& a) override {
    said.push_back("resumed " + a.adapter_name);
  }
};

TEST(DiscoverySession, CaptureComesBackWithTheLink) {
  struct Case {
    const char* what;
    bool resume;
    std::uint64_t down_ms;  // the link is down this long after capture ends
    int refusals;
    bool capturing_after;  // 10 s after the end
    std::vector<std::string> said;
  } const cases[] = {
      {"flap shorter than a retry", true, 500, 0, true, {"lost eth0", "resumed eth0"}},
      {"long outage", true, 8000, 0, true, {"lost eth0", "resumed eth0"}},
      {"first start after it fails", true, 500, 1, true, {"lost eth0", "resumed eth0"}},
      {"the window asks for a search", false, 500, 0, false, {}},
  };
  for (const auto& c : cases) {
    LinkHost host;
    NullEngine engine;
    VendorTable vendors;
    DiscoverySession session(host, vendors, engine, {.resume_lost_capture = c.resume});
    session.start();
    ASSERT_FALSE(session.capture().udp_only()) << c.what;
    host.end_capture();
    host.link_up = false;
    host.refusals = c.refusals;
    for (std::uint64_t t = 0; t < 10000; t += kSessionTickMs) {
      if (t >= c.down_ms) host.link_up = true;
      session.tick();
      // Probing goes on meanwhile.
      EXPECT_TRUE(session.capture().running()) << c.what << " at " << t;
      host.now += kSessionTickMs;
    }
    EXPECT_EQ(!session.capture().udp_only(), c.capturing_after) << c.what;
    EXPECT_EQ(session.capture_lost(), c.resume && !c.capturing_after) << c.what;
    EXPECT_EQ(host.said, c.said) << c.what;
    EXPECT_EQ(host.cleared, 0) << c.what << ": the devices found stay";
  }
}

}  // namespace
}  // namespace norvane
