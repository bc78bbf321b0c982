// The capture back-ends and the raw frame sender under Wine, started by
// tests/capture_lab.sh inside network namespaces of its own:
//   PktMonAbsent, PktMonStandin: the Packet Monitor back-end without the
//     library and against the stand-in Pktmonapi.dll in the prefix's system32;
//   NpcapLab: real capture on the near end of a veth (Wine's wpcap forwards
//     to libpcap) while the far end sends discovery frames, and the raw SADP
//     inquiry seen on the far end.
// Without the script's environment (NVC_IFACE) the lab cases skip.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/backends.h"
#include "capture/npcap_capture_win.h"
#include "capture/npcap_logic.h"
#include "capture/pktmon_capture_win.h"
#include "decode/frame.h"
#include "net/raw_sender.h"
#include "windows/capture/pktmon_standin.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

Bytes hex(const std::string& text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

// Frames and failures the callbacks saw, from whichever thread.
struct Seen {
  std::mutex lock;
  std::vector<Bytes> frames;
  std::atomic<int> count{0};
  std::atomic<int> failures{0};

  FrameCallback frame_callback() {
    return [this](const std::uint8_t* frame, std::uint64_t length) {
      std::lock_guard<std::mutex> guard(lock);
      frames.emplace_back(frame, frame + length);
      ++count;
    };
  }
  FailureCallback failure_callback() {
    return [this] { ++failures; };
  }
  std::vector<Bytes> copy() {
    std::lock_guard<std::mutex> guard(lock);
    return frames;
  }
};

template <typename Predicate>
bool wait_for(Predicate done, int milliseconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

long elapsed_ms(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// ---------------------------------------------------------------------------
// Packet Monitor

const std::array<std::uint8_t, 16> kGuid = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                                            0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

NetworkAdapter standin_adapter() {
  NetworkAdapter adapter;
  adapter.guid = kGuid;
  adapter.adapter_name = "{12345678-9ABC-DEF0-0123-456789ABCDEF}";
  adapter.description = u"Stand-in Ethernet";
  adapter.mac = {0x02, 0x80, 0x00, 0x00, 0x00, 0x99};
  return adapter;
}

Bytes source_record(const std::u16string& name, std::uint32_t flags, const Bytes& id) {
  Bytes r(pktmon::kSourceSize, 0);
  for (std::size_t i = 0; i < name.size(); ++i) {
    r[pktmon::kSourceNameOffset + 2 * i] = static_cast<std::uint8_t>(name[i]);
    r[pktmon::kSourceNameOffset + 2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
  }
  for (int i = 0; i < 4; ++i) {
    r[pktmon::kSourceFlagsOffset + i] = static_cast<std::uint8_t>(flags >> 8 * i);
  }
  std::copy(id.begin(), id.end(), r.begin() + pktmon::kSourceIdOffset);
  return r;
}

Bytes guid_source(const std::u16string& name) {
  return source_record(name, pktmon::kSourceHasGuid, Bytes(kGuid.begin(), kGuid.end()));
}
Bytes other_source(const std::u16string& name) {
  return source_record(name, pktmon::kSourceHasGuid, Bytes(16, 0x11));
}

const Bytes kEthernet =
    hex("ff ff ff ff ff ff 02 80 00 00 00 07 08 06"  // broadcast ARP
        "00 01 08 00 06 04 00 01 02 80 00 00 00 07 0a 50 00 07 00 00 00 00 00 00 0a 50 00 01");
// QoS data from an access point: A1 destination, A2 BSSID, A3 source, QoS,
// LLC/SNAP, EtherType IPv4, 8 bytes.
const Bytes kWifi =
    hex("88 02 00 00 01 00 5e 00 00 fb 00 aa bb cc dd ee 02 80 00 00 00 08 10 00 00 00"
        "aa aa 03 00 00 00 08 00 45 00 00 1c de ad be ef");
const Bytes kWifiAsEthernet =
    hex("01 00 5e 00 00 fb 02 80 00 00 00 08 08 00 45 00 00 1c de ad be ef");

class PktMonStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryExW(L"Pktmonapi.dll", nullptr, 0x800);
    ASSERT_NE(library_, nullptr) << "the stand-in is not in the prefix's system32";
    reset_ = reinterpret_cast<standin::ResetFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "standin_reset")));
    read_ = reinterpret_cast<standin::ReadFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "standin_read")));
    wait_ = reinterpret_cast<standin::WaitFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "standin_wait")));
    late_ = reinterpret_cast<standin::LateFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "standin_late")));
    ASSERT_TRUE(reset_ && read_ && wait_ && late_) << "Pktmonapi.dll here is not the stand-in";
  }
  void TearDown() override {
    if (library_) FreeLibrary(library_);
  }

  // Serves `sources` and `packets` from the next start on.
  void serve(const std::vector<Bytes>& sources, std::vector<standin::Packet> packets = {},
             standin::Config config = {}) {
    sources_.clear();
    for (const Bytes& s : sources) sources_.insert(sources_.end(), s.begin(), s.end());
    config.sources = sources_.data();
    config.source_count = static_cast<std::uint32_t>(sources.size());
    config.packets = packets.data();
    config.packet_count = static_cast<std::uint32_t>(packets.size());
    reset_(&config);
  }
  standin::State state() {
    standin::State s{};
    read_(&s);
    return s;
  }
  bool start(std::unique_ptr<PktMonCapture>& slot, Seen& seen, std::u16string& failure) {
    const NetworkAdapter adapter = standin_adapter();
    return PktMonCapture::start(slot, adapter, adapter.description, seen.frame_callback(), failure);
  }

  HMODULE library_ = nullptr;
  standin::ResetFunction reset_ = nullptr;
  standin::ReadFunction read_ = nullptr;
  standin::WaitFunction wait_ = nullptr;
  standin::LateFunction late_ = nullptr;
  Bytes sources_;
};

standin::Packet packet(std::uint16_t type, std::uint16_t status, const Bytes& bytes) {
  return {type, status, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
}

TEST(PktMonAbsent, WithoutTheLibraryThereIsNoRealtimeCapture) {
  ASSERT_EQ(LoadLibraryExW(L"Pktmonapi.dll", nullptr, 0x800), nullptr)
      << "run this case in a prefix without Pktmonapi.dll";
  Seen seen;
  std::u16string failure = u"left over";
  const auto backend = start_pktmon_backend(standin_adapter(), seen.frame_callback(), failure);
  EXPECT_EQ(backend, nullptr);
  EXPECT_EQ(failure,
            u"Ta wersja systemu Windows nie udostępnia przechwytywania PktMon w czasie "
            u"rzeczywistym.");
}

TEST_F(PktMonStandin, GoodStartDeliversEthernetAndConvertedWifiFrames) {
  const Bytes target = guid_source(u"target");
  const Bytes thirteen(kEthernet.begin(), kEthernet.begin() + 13);
  const Bytes packets_bytes[] = {kEthernet, thirteen, kWifi};
  serve({other_source(u"first"), target, source_record(u"mac", pktmon::kSourceHasMac, Bytes(6, 2))},
        {packet(1, 0, packets_bytes[0]), packet(1, 0, packets_bytes[1]),
         packet(1, 2, packets_bytes[0]), packet(2, 0, packets_bytes[2]),
         packet(3, 0, packets_bytes[0]), packet(2, 0, packets_bytes[0])});

  Seen seen;
  std::u16string failure = u"left over";
  std::unique_ptr<PktMonCapture> capture;
  ASSERT_TRUE(start(capture, seen, failure)) << std::string(failure.begin(), failure.end());
  EXPECT_TRUE(failure.empty());
  ASSERT_EQ(wait_(5000), 1);
  EXPECT_EQ(seen.copy(), (std::vector<Bytes>{kEthernet, kWifiAsEthernet}));
  EXPECT_EQ(capture->stream_error(), u"");

  standin::State s = state();
  EXPECT_STREQ(s.calls, "IELAST+");
  EXPECT_EQ(s.api_version, 0x00010000u);
  EXPECT_EQ(s.source_kind, 1);
  EXPECT_EQ(s.show_hidden, 0);
  EXPECT_EQ(s.capacities[0], 65536u);
  EXPECT_EQ(std::wstring(s.session_name), L"Norvane " + std::to_wstring(GetCurrentProcessId()));
  EXPECT_TRUE(std::equal(target.begin(), target.end(), s.added_source));
  EXPECT_EQ(s.buffer_size_multiplier, 4);
  EXPECT_EQ(s.truncation_size, 9000);

  capture.reset();
  EXPECT_STREQ(state().calls, "IELAST+-slU");
}

TEST_F(PktMonStandin, SourceListGrowsOnceWithinItsLimit) {
  standin::Config config{};
  config.grow_list = 70001;  // taken up to a multiple of 8
  serve({guid_source(u"target")}, {}, config);
  Seen seen;
  std::u16string failure;
  std::unique_ptr<PktMonCapture> capture;
  ASSERT_TRUE(start(capture, seen, failure));
  EXPECT_EQ(state().capacities[1], 70008u);
  capture.reset();
  EXPECT_STREQ(state().calls, "IEELAST+-slU");

  for (std::uint32_t needed : {16777224u, 65536u}) {
    config.grow_list = needed;  // above the limit, or no larger than the buffer
    serve({guid_source(u"target")}, {}, config);
    EXPECT_FALSE(start(capture, seen, failure));
    EXPECT_EQ(failure, u"Nie można odczytać interfejsów PktMon (0x8007007A).");
    EXPECT_STREQ(state().calls, "IEU");
  }
}

TEST_F(PktMonStandin, EveryFailingStepReleasesWhatItAcquired) {
  const struct {
    standin::Step step;
    std::u16string text;
    const char* calls;
  } steps[] = {
      {standin::kInitialize, u"Nie można uruchomić PktMon", "I"},
      {standin::kEnumerate, u"Nie można odczytać interfejsów PktMon", "IEU"},
      {standin::kCreateSession, u"Nie można utworzyć sesji PktMon", "IELU"},
      {standin::kAddSource, u"Nie można wybrać interfejsu w PktMon", "IELAlU"},
      {standin::kCreateStream, u"Nie można utworzyć strumienia PktMon", "IELASlU"},
      {standin::kAttach, u"Nie można podłączyć strumienia PktMon", "IELASTslU"},
      {standin::kActivate, u"Nie można włączyć przechwytywania PktMon", "IELAST+slU"},
  };
  const std::u16string admin = u"Przechwytywanie PktMon wymaga uruchomienia jako administrator.";
  for (const auto& step : steps) {
    for (const std::uint32_t code : {0x80004005u, 0x80070005u, 0x80070522u}) {
      standin::Config config{};
      config.fail_step = step.step;
      config.fail_code = static_cast<std::int32_t>(code);
      serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
      Seen seen;
      std::u16string failure;
      std::unique_ptr<PktMonCapture> capture;
      EXPECT_FALSE(start(capture, seen, failure));
      EXPECT_EQ(capture, nullptr);
      EXPECT_EQ(failure, code == 0x80004005u ? step.text + u" (0x80004005)." : admin)
          << "step " << step.step << " code " << code;
      EXPECT_STREQ(state().calls, step.calls) << "step " << step.step;
      EXPECT_EQ(seen.count.load(), 0);
    }
  }
}

TEST_F(PktMonStandin, ListsWithoutOneClearSourceAreRefused) {
  const std::u16string no_choice =
      u"PktMon nie udostępnia jednoznacznego źródła dla tego interfejsu.";
  const struct {
    const char* what;
    std::vector<Bytes> sources;
    std::uint32_t extra_count;
    std::u16string failure;
  } cases[] = {
      {"two sources of the adapter's GUID", {guid_source(u"a"), guid_source(u"b")}, 0, no_choice},
      {"no source of the adapter", {other_source(u"a"), other_source(u"b")}, 0, no_choice},
      {"no sources at all", {}, 0, no_choice},
      {"a count the buffer cannot hold",
       {guid_source(u"a")},
       9000,
       u"Nieprawidłowa lista interfejsów PktMon (0x8007000D)."},
  };
  for (const auto& c : cases) {
    standin::Config config{};
    config.extra_count = c.extra_count;
    serve(c.sources, {}, config);
    Seen seen;
    std::u16string failure;
    std::unique_ptr<PktMonCapture> capture;
    EXPECT_FALSE(start(capture, seen, failure)) << c.what;
    EXPECT_EQ(failure, c.failure) << c.what;
    EXPECT_STREQ(state().calls, "IEU") << c.what;
  }
}

TEST_F(PktMonStandin, StreamEventsAndCallbackFailuresBecomeTheStreamError) {
  const struct {
    const char* what;
    std::int32_t kind;
    std::uint32_t code;
    bool without_info;
    bool throwing_callback;
    std::u16string error;
  } cases[] = {
      {"error event with a code", 2, 0x1234, false, false, u"Błąd strumienia PktMon (4660)."},
      {"stop event without information", 1, 0, true, false, u"Błąd strumienia PktMon (995)."},
      {"error event with code 0", 2, 0, false, false, u"Błąd strumienia PktMon (995)."},
      {"other event kinds are ignored", 3, 77, false, false, u""},
      {"an exception in the frame callback", 0, 0, false, true, u"Błąd strumienia PktMon (574)."},
  };
  for (const auto& c : cases) {
    standin::Config config{};
    config.event_kind = c.kind;
    config.event_code = c.code;
    config.event_without_info = c.without_info;
    serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
    std::unique_ptr<PktMonCapture> capture;
    std::u16string failure;
    const NetworkAdapter adapter = standin_adapter();
    FrameCallback callback = [throwing = c.throwing_callback](const std::uint8_t*, std::uint64_t) {
      if (throwing) throw std::runtime_error("callback failed");
    };
    ASSERT_TRUE(PktMonCapture::start(capture, adapter, adapter.description, callback, failure));
    ASSERT_EQ(wait_(5000), 1) << c.what;
    EXPECT_EQ(capture->stream_error(), c.error) << c.what;
  }
}

TEST_F(PktMonStandin, CallbackDuringDestructionDeliversNothing) {
  standin::Config config{};
  config.late_packet = 1;
  serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
  Seen seen;
  std::u16string failure;
  std::unique_ptr<PktMonCapture> capture;
  ASSERT_TRUE(start(capture, seen, failure));
  ASSERT_EQ(wait_(5000), 1);
  EXPECT_EQ(seen.count.load(), 1);
  capture.reset();
  EXPECT_EQ(state().late_delivered, 1);  // the stand-in did call back
  EXPECT_EQ(seen.count.load(), 1);       // and nothing reached the frame callback
}

// A real stream's close need not wait for a callback that is under way.
// Destruction must: the frame callback (and the window behind it) has to
// outlive every callback that began before stopping was raised.
TEST_F(PktMonStandin, DestructionWaitsForACallbackUnderWay) {
  standin::Config config{};
  config.close_without_waiting = 1;
  serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
  std::atomic<bool> inside{false};
  std::atomic<bool> returned{false};
  const FrameCallback slow = [&](const std::uint8_t*, std::uint64_t) {
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    returned = true;
  };
  std::unique_ptr<PktMonCapture> capture;
  std::u16string failure;
  const NetworkAdapter adapter = standin_adapter();
  ASSERT_TRUE(PktMonCapture::start(capture, adapter, adapter.description, slow, failure));
  ASSERT_TRUE(wait_for([&] { return inside.load(); }, 5000));
  const auto begin = Clock::now();
  capture.reset();
  const long took = elapsed_ms(begin);
  EXPECT_TRUE(returned.load());                   // destruction ended after the callback did
  EXPECT_EQ(state().closed_while_delivering, 1);  // the stream was closed under it
  EXPECT_STREQ(state().calls, "IELAST+-slU");
  ASSERT_EQ(wait_(5000), 1);
  std::printf("destruction waited %ld ms for the callback under way\n", took);
}

// A close that does not wait may be followed by a callback with the closed
// stream's context: after its back-end is gone, even once a new back-end
// holds the same slot. And the API's threads may still be returning into
// the library, which must therefore outlive every back-end.
TEST_F(PktMonStandin, LateCallbacksOfAClosedStreamReachNoBackEnd) {
  standin::Config config{};
  config.close_without_waiting = 1;
  serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
  Seen first, second;
  std::u16string failure;
  std::unique_ptr<PktMonCapture> capture;
  ASSERT_TRUE(start(capture, first, failure));
  ASSERT_EQ(wait_(5000), 1);
  capture.reset();
  EXPECT_EQ(late_(), 1);  // into the destroyed back-end's context

  serve({guid_source(u"target")}, {packet(1, 0, kEthernet)}, config);
  ASSERT_TRUE(start(capture, second, failure));
  ASSERT_EQ(wait_(5000), 1);
  EXPECT_EQ(late_(), 1);  // the first stream's context again
  capture.reset();
  EXPECT_EQ(late_(), 1);  // and the second's
  EXPECT_EQ(first.count.load(), 1);
  EXPECT_EQ(second.count.load(), 1);

  FreeLibrary(library_);  // the test's own reference
  library_ = nullptr;
  EXPECT_NE(GetModuleHandleW(L"Pktmonapi.dll"), nullptr);
}

// ---------------------------------------------------------------------------
// Npcap on the veth

struct LabAdapter {
  std::string adapter_name;
  MacBytes mac{};
  std::uint32_t ipv4 = 0;
};

// The adapter Wine shows for the Linux interface NVC_IFACE.
bool lab_adapter(LabAdapter& out) {
  const std::string want = env("NVC_IFACE");
  if (want.empty()) return false;
  ULONG size = 64 * 1024;
  std::vector<std::uint8_t> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size) != NO_ERROR) return false;
  for (auto* a = list; a; a = a->Next) {
    const std::wstring friendly = a->FriendlyName ? a->FriendlyName : L"";
    if (std::string(friendly.begin(), friendly.end()) != want) continue;
    out.adapter_name = a->AdapterName;
    std::copy(a->PhysicalAddress, a->PhysicalAddress + 6, out.mac.begin());
    for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
      if (u->Address.lpSockaddr && u->Address.lpSockaddr->sa_family == AF_INET) {
        out.ipv4 = reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr;
      }
    }
    return true;
  }
  return false;
}

class NpcapLab : public ::testing::Test {
 protected:
  void SetUp() override {
    if (env("NVC_IFACE").empty()) GTEST_SKIP() << "runs inside tests/capture_lab.sh";
    ASSERT_TRUE(lab_adapter(adapter_)) << "no adapter named " << env("NVC_IFACE");
  }
  LabAdapter adapter_;
};

std::string mac_of(const Bytes& frame) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", frame[6], frame[7], frame[8],
                frame[9], frame[10], frame[11]);
  return text;
}

TEST_F(NpcapLab, FramesFromTheFarSideReachTheCallback) {
  // Source MAC of each far frame, and the protocol its summary carries ("" for
  // the plain broadcast datagram, kept as a multicast frame).
  const std::map<std::string, std::string> expected = {
      {"02:80:00:00:00:01", "ARP"},  {"02:80:00:00:00:02", ""},
      {"02:80:00:00:00:03", "LLDP"}, {"02:80:00:00:00:04", "mDNS"},
      {"02:80:00:00:00:05", "SSDP"}, {"44:19:B6:12:34:56", "SADP L2"},
  };
  Seen seen;
  NetworkAdapter adapter;
  adapter.adapter_name = adapter_.adapter_name;
  const auto backend = start_npcap_backend(adapter, seen.frame_callback(), seen.failure_callback());
  ASSERT_NE(backend, nullptr);

  std::map<std::string, PacketSummary> found;
  const bool all = wait_for(
      [&] {
        for (const Bytes& frame : seen.copy()) {
          const std::string source = mac_of(frame);
          if (!expected.count(source) || found.count(source)) continue;
          PacketSummary summary;
          if (summarize_frame(frame.data(), frame.size(), summary)) found[source] = summary;
        }
        return found.size() == expected.size();
      },
      15000);
  EXPECT_TRUE(all) << found.size() << " of " << expected.size() << " kinds seen";
  for (const auto& [source, protocol] : expected) {
    if (!found.count(source)) continue;
    const PacketSummary& s = found[source];
    EXPECT_EQ(s.source_mac, source);
    if (!protocol.empty()) {
      EXPECT_EQ(s.protocol, protocol) << source;
    }
  }
  EXPECT_EQ(found["44:19:B6:12:34:56"].mac, "44:19:B6:12:34:56");  // from inside the reply
  EXPECT_EQ(seen.failures.load(), 0);
}

TEST_F(NpcapLab, StoppingJoinsPromptlyAndEndsDelivery) {
  Seen seen;
  std::unique_ptr<NpcapCapture> capture;
  ASSERT_TRUE(NpcapCapture::start(capture, adapter_.adapter_name, seen.frame_callback(),
                                  seen.failure_callback()));
  // Wine's wpcap lets the kernel buffer be chosen before activation.
  EXPECT_EQ(capture->kernel_buffer(), npcap::kKernelBufferBytes);
  ASSERT_TRUE(wait_for([&] { return seen.count.load() > 0; }, 10000));
  // The far side sends every 200 ms: the thread has backed off towards its
  // longest wait, which the stop event ends at once.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto stop = Clock::now();
  capture.reset();
  const long stop_ms = elapsed_ms(stop);
  EXPECT_LT(stop_ms, 200);
  const int after = seen.count.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the far side keeps sending
  EXPECT_EQ(seen.count.load(), after);
  EXPECT_EQ(seen.failures.load(), 0);
  std::printf("stop took %ld ms\n", stop_ms);
}

TEST_F(NpcapLab, UnknownDeviceStartsNoCapture) {
  Seen seen;
  std::unique_ptr<NpcapCapture> capture;
  EXPECT_FALSE(NpcapCapture::start(capture, "{00000000-0000-0000-0000-000000000000}",
                                   seen.frame_callback(), seen.failure_callback()));
  EXPECT_EQ(capture, nullptr);
  EXPECT_EQ(seen.failures.load(), 0);
}

TEST_F(NpcapLab, RawInquiryLeavesOncePerSend) {
  for (const MacBytes& unusable :
       {MacBytes{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, MacBytes{0, 0, 0, 0, 0, 0}}) {
    EXPECT_FALSE(open_raw_sender(adapter_.adapter_name, unusable)->has_handle());
  }
  EXPECT_FALSE(open_raw_sender("", adapter_.mac)->has_handle());
  const auto nowhere = open_raw_sender("{00000000-0000-0000-0000-000000000000}", adapter_.mac);
  EXPECT_FALSE(nowhere->has_handle());
  EXPECT_FALSE(nowhere->send_frame(sadp_inquiry_frame(&adapter_.mac, adapter_.ipv4)));

  const auto sender = open_raw_sender(adapter_.adapter_name, adapter_.mac);
  ASSERT_TRUE(sender->has_handle());
  std::ofstream sent(env("NVC_SENT_FILE"));
  ASSERT_TRUE(sent.good());
  for (int i = 0; i < 3; ++i) {
    const Bytes frame = sadp_inquiry_frame(&adapter_.mac, adapter_.ipv4);
    ASSERT_TRUE(sender->send_frame(frame));
    for (std::uint8_t b : frame) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02x", b);
      sent << digits;
    }
    sent << "\n";
  }
  EXPECT_FALSE(sender->send_frame({}));
}

// Run alone, last: the script removes the interface when asked (libpcap, as
// Npcap, keeps reading an interface that is merely switched off; an adapter
// that goes away ends the capture with an error).
TEST_F(NpcapLab, InterfaceRemovedWhileCapturingGivesExactlyOneFailure) {
  const std::string request = env("NVC_DOWN_FILE");
  if (request.empty()) GTEST_SKIP() << "needs the script's link-down watcher";
  Seen seen;
  std::unique_ptr<NpcapCapture> capture;
  ASSERT_TRUE(NpcapCapture::start(capture, adapter_.adapter_name, seen.frame_callback(),
                                  seen.failure_callback()));
  ASSERT_TRUE(wait_for([&] { return seen.count.load() > 0; }, 10000));
  std::ofstream(request) << "remove\n";
  EXPECT_TRUE(wait_for([&] { return seen.failures.load() > 0; }, 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(seen.failures.load(), 1);
  const auto stop = Clock::now();
  capture.reset();  // the thread has ended already
  EXPECT_LT(elapsed_ms(stop), 1000);
  EXPECT_EQ(seen.failures.load(), 1);
}

}  // namespace
}  // namespace norvane
