#include "net/probe_engine.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/address.h"
#include "net/byte_order.h"
#include "net/winsock_records.h"

namespace norvane {
namespace {

std::uint32_t ip(const char* text) {
  std::uint8_t b[4];
  EXPECT_TRUE(parse_ipv4(text, b)) << text;
  return network_from_bytes(b);
}

std::string text(std::uint32_t address) {
  return format_ipv4(reinterpret_cast<const std::uint8_t*>(&address));
}

std::vector<std::uint8_t> name_bytes(std::uint32_t address, std::uint16_t port,
                                     std::uint16_t family = 2, std::size_t size = 16) {
  std::vector<std::uint8_t> n(size, 0);
  const std::uint8_t head[8] = {static_cast<std::uint8_t>(family),
                                static_cast<std::uint8_t>(family >> 8),
                                static_cast<std::uint8_t>(port >> 8),
                                static_cast<std::uint8_t>(port),
                                0,
                                0,
                                0,
                                0};
  for (std::size_t i = 0; i < std::min<std::size_t>(4, size); ++i) n[i] = head[i];
  if (size >= 8) std::memcpy(n.data() + 4, &address, 4);
  return n;
}

// One 64-bit Windows control message.
std::vector<std::uint8_t> control_message(std::uint32_t level, std::uint32_t type,
                                          std::uint64_t length, std::uint32_t index) {
  std::vector<std::uint8_t> c(24, 0);
  for (int i = 0; i < 8; ++i)
    c[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
  for (int i = 0; i < 4; ++i) {
    c[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(level >> (8 * i));
    c[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(type >> (8 * i));
    c[20 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(index >> (8 * i));
  }
  return c;
}

std::vector<std::uint8_t> pktinfo(std::uint32_t index) { return control_message(0, 19, 24, index); }

struct Inbound {
  ReceiveStatus status = ReceiveStatus::kReceived;
  std::string data = "answer";
  std::vector<std::uint8_t> name;
  std::vector<std::uint8_t> control;
  bool truncated = false;
  bool control_truncated = false;
};

struct Send {
  SocketHandle socket;
  std::string destination;
  std::uint16_t port;
  bool via_msg;
  std::string payload;
};

const char* option_name(SocketOption o) {
  switch (o) {
    case SocketOption::kExclusiveAddrUse:
      return "exclusive";
    case SocketOption::kShareAddress:
      return "shared";
    case SocketOption::kBroadcast:
      return "broadcast";
    case SocketOption::kMulticastTtl:
      return "multicast_ttl";
    case SocketOption::kTtl:
      return "ttl";
    case SocketOption::kPacketInfo:
      return "pktinfo";
    case SocketOption::kReceiveBuffer:
      return "rcvbuf";
  }
  return "?";
}

// Records every call; answers as configured. Received datagrams are given as
// the records Winsock writes and read the way the Winsock layer reads them.
class FakeSockets final : public SocketApi {
 public:
  struct Socket {
    std::vector<std::string> calls;
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool open = true;
    std::deque<Inbound> inbound;
    std::vector<std::uint32_t> groups;
  };

  bool startup_ok = true;
  bool refuse_multicast_interface = false;
  bool send_msg_missing = false;
  bool sends_fail = false;
  bool bind_fails = false;
  std::set<std::uint16_t> ports_in_use;
  std::uint64_t now = 1000;
  std::uint64_t ms_per_read = 0;  // the clock moves on with every read
  std::uint32_t if_index = 7;     // the adapter's, as the engine must pass it on

  std::map<SocketHandle, Socket> sockets;
  std::vector<Send> sends;
  std::vector<std::string> events;
  int opened = 0;

  bool startup() override {
    events.push_back("startup");
    return startup_ok;
  }
  void cleanup() override { events.push_back("cleanup"); }
  std::uint64_t now_ms() override { return now; }
  SocketHandle open_udp() override {
    const SocketHandle h = static_cast<SocketHandle>(++opened);
    sockets[h];
    return h;
  }
  void close(SocketHandle s) override {
    EXPECT_TRUE(sockets[s].open) << "socket " << s << " closed twice";
    sockets[s].open = false;
    events.push_back("close " + port_of(s));
  }
  bool set_option(SocketHandle s, SocketOption o, std::uint32_t v) override {
    sockets[s].calls.push_back(std::string(option_name(o)) + "=" + std::to_string(v));
    return true;
  }
  bool set_unicast_interface(SocketHandle s, std::uint32_t index) override {
    sockets[s].calls.push_back("unicast_if=" + std::to_string(index));
    return true;
  }
  bool set_multicast_interface(SocketHandle s, std::uint32_t index,
                               std::uint32_t address) override {
    sockets[s].calls.push_back("multicast_if=" + std::to_string(index) + "," + text(address));
    return !refuse_multicast_interface;
  }
  bool set_nonblocking(SocketHandle s) override {
    sockets[s].calls.push_back("nonblocking");
    return true;
  }
  bool bind(SocketHandle s, std::uint32_t address, std::uint16_t port) override {
    sockets[s].calls.push_back("bind " + text(address) + ":" + std::to_string(port));
    if (bind_fails || ports_in_use.count(port)) return false;
    sockets[s].address = address;
    sockets[s].port = port == 0 ? 50000 : port;
    return true;
  }
  bool bound_port(SocketHandle s, std::uint16_t& port) override {
    port = sockets[s].port;
    return true;
  }
  RecvMsgFunction recv_msg_function(SocketHandle) override { return this; }
  bool send_msg_available(SocketHandle) override { return !send_msg_missing; }
  bool join_group(SocketHandle s, std::uint32_t group, std::uint32_t index,
                  std::uint32_t address) override {
    EXPECT_EQ(index, if_index);
    EXPECT_EQ(address, ip("192.168.1.5"));
    sockets[s].groups.push_back(group);
    return true;
  }
  std::int64_t send_to(SocketHandle s, std::uint32_t a, std::uint16_t port,
                       std::span<const std::uint8_t> payload) override {
    return record(s, a, port, payload, false);
  }
  std::int64_t send_msg(SocketHandle s, std::uint32_t a, std::uint16_t port,
                        std::span<const std::uint8_t> payload, std::uint32_t source,
                        std::uint32_t index) override {
    if (send_msg_missing) return -1;
    EXPECT_EQ(source, ip("192.168.1.5"));
    EXPECT_EQ(index, if_index);
    return record(s, a, port, payload, true);
  }
  ReceiveStatus receive(SocketHandle s, std::span<std::uint8_t>) override {
    now += ms_per_read;
    auto& q = sockets[s].inbound;
    if (q.empty()) return ReceiveStatus::kWouldBlock;
    const ReceiveStatus status = q.front().status;
    q.pop_front();
    return status;
  }
  ReceivedMessage receive_msg(SocketHandle s, RecvMsgFunction function,
                              std::span<std::uint8_t> data) override {
    EXPECT_EQ(function, this);
    EXPECT_EQ(data.size(), 16384u);
    now += ms_per_read;
    ReceivedMessage m;
    auto& q = sockets[s].inbound;
    if (q.empty()) {
      m.status = ReceiveStatus::kWouldBlock;
      return m;
    }
    const Inbound in = q.front();
    q.pop_front();
    m.status = in.status;
    if (in.status != ReceiveStatus::kReceived) return m;
    std::memcpy(data.data(), in.data.data(), std::min(in.data.size(), data.size()));
    m.bytes = static_cast<std::uint32_t>(in.data.size());
    // What Winsock's WSARecvMsg writes: 16 bytes of address, 24 of control.
    m.source = datagram_source(
        std::span<const std::uint8_t>(in.name).first(std::min<std::size_t>(in.name.size(), 16)));
    m.arrival_interface =
        packet_info_interface(std::span<const std::uint8_t>(in.control)
                                  .first(std::min<std::size_t>(in.control.size(), 24)));
    m.truncated = in.truncated;
    m.control_truncated = in.control_truncated;
    return m;
  }

  std::string port_of(SocketHandle s) { return std::to_string(sockets[s].port); }
  SocketHandle socket_on_port(std::uint16_t port) {
    for (auto& [h, s] : sockets) {
      if (s.open && s.port == port) return h;
    }
    return kInvalidSocket;
  }
  int open_count() {
    int n = 0;
    for (auto& [h, s] : sockets) n += s.open ? 1 : 0;
    return n;
  }

 private:
  std::int64_t record(SocketHandle s, std::uint32_t a, std::uint16_t port,
                      std::span<const std::uint8_t> payload, bool via_msg) {
    sends.push_back({s, text(a), port, via_msg,
                     std::string(reinterpret_cast<const char*>(payload.data()), payload.size())});
    return sends_fail ? -1 : static_cast<std::int64_t>(payload.size());
  }
};

class FakeRaw final : public RawFrameSender {
 public:
  FakeRaw(bool handle, std::vector<std::string>& events,
          std::vector<std::vector<std::uint8_t>>& frames)
      : handle_(handle), events_(events), frames_(frames) {}
  ~FakeRaw() override { events_.push_back("raw closed"); }
  bool has_handle() const override { return handle_; }
  bool send_frame(std::span<const std::uint8_t> f) override {
    frames_.emplace_back(f.begin(), f.end());
    return true;
  }

 private:
  bool handle_;
  std::vector<std::string>& events_;
  std::vector<std::vector<std::uint8_t>>& frames_;
};

const MacBytes kMac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class ProbeEngineTest : public ::testing::Test {
 protected:
  FakeSockets api;
  bool raw_handle = true;
  std::vector<std::vector<std::uint8_t>> frames;
  ProbeEngine engine{api,
                     [this](const std::string& name, const MacBytes& mac) {
                       EXPECT_EQ(name, "{GUID}");
                       EXPECT_EQ(mac, kMac);
                       return std::make_unique<FakeRaw>(raw_handle, api.events, frames);
                     },
                     [n = 0]() mutable { return "UUID-" + std::to_string(++n); }};

  bool open(bool decode, std::uint32_t broadcast = ip("192.168.1.255"), std::uint32_t index = 7,
            std::uint32_t ipv4 = ip("192.168.1.5")) {
    return engine.open("{GUID}", index, ipv4, broadcast, kMac, decode);
  }

  std::vector<std::string> sends_text() {
    std::vector<std::string> out;
    for (const auto& s : api.sends) {
      out.push_back(api.port_of(s.socket) + (s.via_msg ? " msg " : " to ") + s.destination + ":" +
                    std::to_string(s.port));
    }
    return out;
  }
};

TEST_F(ProbeEngineTest, DecodingSearchSendsSixteenDatagramsFromTheRightSockets) {
  ASSERT_TRUE(open(true));
  EXPECT_EQ(engine.search(), 16u);
  EXPECT_EQ(sends_text(), (std::vector<std::string>{
                              "37020 msg 239.255.255.250:37020",
                              "37020 msg 192.168.1.255:37020",
                              "37020 msg 255.255.255.255:37020",
                              "50000 to 239.255.255.251:37810",
                              "50000 to 192.168.1.255:37810",
                              "50000 msg 255.255.255.255:37810",
                              "37810 msg 239.255.255.251:37810",
                              "10001 msg 192.168.1.255:10001",
                              "10001 msg 255.255.255.255:10001",
                              "10001 msg 192.168.1.255:10001",
                              "10001 msg 255.255.255.255:10001",
                              "5678 msg 192.168.1.255:5678",
                              "5678 msg 255.255.255.255:5678",
                              "50000 to 239.255.255.250:3702",
                              "50000 to 239.255.255.250:3702",
                              "50000 to 239.255.255.250:1900",
                          }));
  EXPECT_TRUE(frames.empty());  // no raw sender without capture
  const auto& port_socket = api.sockets[api.socket_on_port(5678)];
  EXPECT_EQ(port_socket.calls,
            (std::vector<std::string>{"exclusive=1", "broadcast=1", "unicast_if=7",
                                      "multicast_if=7,192.168.1.5", "multicast_ttl=1", "ttl=1",
                                      "pktinfo=1", "nonblocking", "bind 0.0.0.0:5678",
                                      "rcvbuf=1048576"}));
  EXPECT_EQ(api.sockets[api.socket_on_port(50000)].calls[8], "bind 192.168.1.5:0");
  // The main socket joins every group it sends to; a wildcard port socket
  // joins its own group so that it hears the answers.
  EXPECT_EQ(api.sockets[api.socket_on_port(50000)].groups,
            (std::vector<std::uint32_t>{ip("239.255.255.250"), ip("239.255.255.251")}));
  EXPECT_EQ(api.sockets[api.socket_on_port(37020)].groups,
            (std::vector<std::uint32_t>{ip("239.255.255.250")}));
  EXPECT_EQ(api.sockets[api.socket_on_port(37810)].groups,
            (std::vector<std::uint32_t>{ip("239.255.255.251")}));
  EXPECT_TRUE(api.sockets[api.socket_on_port(10001)].groups.empty());
}

TEST_F(ProbeEngineTest, CaptureModeBindsToTheAdapterDiscardsAndSendsTheRawFrame) {
  ASSERT_TRUE(open(false));
  const SocketHandle main = api.socket_on_port(50000);
  api.sockets[main].inbound.resize(3);  // arrived since the last tick
  EXPECT_EQ(engine.search(), 17u);
  EXPECT_TRUE(api.sockets[main].inbound.empty());
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].size(), 80u);
  EXPECT_EQ(std::vector<std::uint8_t>(frames[0].begin() + 34, frames[0].begin() + 38),
            (std::vector<std::uint8_t>{192, 168, 1, 5}));
  const auto& port_socket = api.sockets[api.socket_on_port(37020)];
  EXPECT_EQ(port_socket.calls[7], "bind 192.168.1.5:37020");
  EXPECT_EQ(port_socket.calls.back(), "rcvbuf=1048576");
  for (const auto& c : port_socket.calls) EXPECT_NE(c, "pktinfo=1");
  // Only the limited broadcast needs the message form on an adapter-bound socket.
  for (const auto& s : api.sends) EXPECT_EQ(s.via_msg, s.destination == "255.255.255.255");
  EXPECT_TRUE(api.sockets[main].groups.size() == 2);
  EXPECT_TRUE(api.sockets[api.socket_on_port(37020)].groups.empty());

  // Answers read while capturing never reach a handler.
  api.sockets[main].inbound.push_back(
      {ReceiveStatus::kReceived, "x", name_bytes(ip("192.168.1.64"), 37810), pktinfo(7)});
  int handled = 0;
  engine.poll([&](const DiscoveryReply&) { ++handled; });
  EXPECT_EQ(handled, 0);
  EXPECT_TRUE(api.sockets[main].inbound.empty());
}

TEST_F(ProbeEngineTest, BroadcastCountsFollowTheAdapter) {
  struct Case {
    std::uint32_t broadcast;
    unsigned count;
  } const cases[] = {{ip("192.168.1.255"), 16}, {0xFFFFFFFFu, 11}, {0, 11}};
  for (const auto& c : cases) {
    api.sends.clear();
    ASSERT_TRUE(open(true, c.broadcast));
    EXPECT_EQ(engine.search(), c.count);
    for (const auto& s : api.sends) EXPECT_NE(s.destination, "0.0.0.0");
  }
}

TEST_F(ProbeEngineTest, PortHeldElsewhereSendsFromTheMainSocket) {
  api.ports_in_use = {37020, 5678};
  ASSERT_TRUE(open(true));
  EXPECT_EQ(engine.search(), 16u);
  const auto lines = sends_text();
  EXPECT_EQ(lines[0], "50000 to 239.255.255.250:37020");
  EXPECT_EQ(lines[1], "50000 to 192.168.1.255:37020");
  EXPECT_EQ(lines[2], "50000 msg 255.255.255.255:37020");
  EXPECT_EQ(lines[11], "50000 to 192.168.1.255:5678");
  EXPECT_EQ(api.socket_on_port(37020), kInvalidSocket);
}

TEST_F(ProbeEngineTest, PortSocketsLiveTwoAndAHalfSecondsAfterTheLastSearch) {
  ASSERT_TRUE(open(true));
  engine.search();  // at 1000
  const int made = api.opened;
  EXPECT_EQ(engine.port_socket_count(), 4u);  // 37020, 37810, 10001, 5678
  EXPECT_EQ(api.open_count(), 8);             // with the main socket and 3 listeners
  api.now = 2000;
  engine.poll({});
  EXPECT_EQ(engine.port_socket_count(), 4u);
  engine.search();  // reuses them and moves the deadline to 4500
  EXPECT_EQ(api.opened, made);
  api.now = 4499;
  engine.poll({});
  EXPECT_EQ(engine.port_socket_count(), 4u);
  api.now = 4500;
  engine.poll({});
  EXPECT_EQ(engine.port_socket_count(), 0u);
  EXPECT_EQ(api.socket_on_port(37810), kInvalidSocket);
  EXPECT_EQ(api.open_count(), 4);  // the main socket and the listeners
}

TEST_F(ProbeEngineTest, MulticastInterfaceRefusedLeavesNothingToSendWith) {
  api.refuse_multicast_interface = true;
  raw_handle = false;
  EXPECT_FALSE(open(true));
  EXPECT_FALSE(engine.is_open());
  EXPECT_EQ(api.open_count(), 0);  // the refused socket was closed
}

// Windows takes an interface by its index in network byte order; Wine only
// by the interface's address. The Winsock layer asks in that order.
TEST(WinsockRecords, InterfaceByIndexElseAddress) {
  struct Case {
    const char* what;
    bool index_accepted;
    bool address_accepted;
    std::vector<std::uint32_t> asked;
    bool result;
  } const cases[] = {
      {"index taken", true, true, {network_from_host(7)}, true},
      {"index refused, address taken",
       false,
       true,
       {network_from_host(7), ip("192.168.1.5")},
       true},
      {"both refused", false, false, {network_from_host(7), ip("192.168.1.5")}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> asked;
    const bool result = interface_by_index_else_address(
        [&](std::uint32_t value) {
          asked.push_back(value);
          return value == network_from_host(7) ? c.index_accepted : c.address_accepted;
        },
        7, ip("192.168.1.5"));
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(asked, c.asked) << c.what;
  }
}

TEST_F(ProbeEngineTest, OpenOutcomes) {
  struct Case {
    const char* what;
    std::uint32_t index;
    const char* ipv4;
    bool startup;
    bool bind;
    bool decode;
    bool raw;
    bool opens;
    unsigned search;
  } const cases[] = {
      {"normal decoding", 7, "192.168.1.5", true, true, true, true, true, 16},
      {"no IPv4, capture with raw sender", 7, "0.0.0.0", true, true, false, true, true, 1},
      {"no IPv4, capture without raw sender", 7, "0.0.0.0", true, true, false, false, false, 0},
      {"no IPv4, decoding", 7, "0.0.0.0", true, true, true, true, false, 0},
      {"broadcast address", 7, "255.255.255.255", true, true, true, true, false, 0},
      {"index 0", 0, "192.168.1.5", true, true, false, true, true, 1},
      {"index too large", 16777216, "192.168.1.5", true, true, true, true, false, 0},
      {"largest index", 16777215, "192.168.1.5", true, true, true, true, true, 16},
      {"winsock fails", 7, "192.168.1.5", false, true, false, true, true, 1},
      {"main socket fails", 7, "192.168.1.5", true, false, false, true, true, 1},
  };
  for (const auto& c : cases) {
    FakeSockets sockets;
    sockets.startup_ok = c.startup;
    sockets.bind_fails = !c.bind;
    sockets.if_index = c.index;
    std::vector<std::vector<std::uint8_t>> sent_frames;
    std::vector<std::string> events;
    ProbeEngine e(sockets, [&](const std::string&, const MacBytes&) {
      return std::make_unique<FakeRaw>(c.raw, events, sent_frames);
    });
    EXPECT_EQ(e.open("{GUID}", c.index, ip(c.ipv4), ip("192.168.1.255"), kMac, c.decode), c.opens)
        << c.what;
    const unsigned count = e.search();
    EXPECT_EQ(count, c.search) << c.what;
    e.close();
    const bool cleaned = std::count(sockets.events.begin(), sockets.events.end(), "cleanup") == 1;
    const bool started = std::count(sockets.events.begin(), sockets.events.end(), "startup") == 1;
    EXPECT_EQ(cleaned, started && c.startup) << c.what;
    EXPECT_EQ(sockets.open_count(), 0) << c.what;
  }
}

TEST_F(ProbeEngineTest, ReceivedDatagramsAcceptedOnlyThroughTheAdapter) {
  ASSERT_TRUE(open(true));
  engine.search();
  const std::uint32_t camera = ip("192.168.1.64");
  auto good = [&](std::string data) {
    return Inbound{ReceiveStatus::kReceived, std::move(data), name_bytes(camera, 37810),
                   pktinfo(7)};
  };
  std::vector<Inbound> in;
  in.push_back(good("accepted-1"));
  in.push_back({ReceiveStatus::kReceived, "other interface", name_bytes(camera, 1), pktinfo(9)});
  in.push_back({ReceiveStatus::kReceived, "unspecified", name_bytes(0, 1), pktinfo(7)});
  in.push_back({ReceiveStatus::kReceived, "IPv6 family", name_bytes(camera, 1, 23), pktinfo(7)});
  in.push_back({ReceiveStatus::kReceived, "short name", name_bytes(camera, 1, 2, 8), pktinfo(7)});
  in.push_back({ReceiveStatus::kReceived, "no control", name_bytes(camera, 1), {}});
  in.push_back({ReceiveStatus::kReceived, "short pktinfo", name_bytes(camera, 1),
                control_message(0, 19, 20, 7)});
  in.push_back({ReceiveStatus::kReceived, "other level", name_bytes(camera, 1),
                control_message(41, 19, 24, 7)});
  auto truncated = good("truncated");
  truncated.truncated = true;
  in.push_back(truncated);
  auto ctruncated = good("control truncated");
  ctruncated.control_truncated = true;
  in.push_back(ctruncated);
  in.push_back(good(""));
  in.push_back({ReceiveStatus::kConnectionReset, "", {}, {}});
  in.push_back({ReceiveStatus::kMessageSize, "", {}, {}});
  in.push_back(good("accepted-2"));
  in.push_back({ReceiveStatus::kWouldBlock, "", {}, {}});
  in.push_back(good("next poll"));
  const SocketHandle main = api.socket_on_port(50000);
  for (auto& i : in) api.sockets[main].inbound.push_back(i);
  const SocketHandle dhip = api.socket_on_port(37810);
  api.sockets[dhip].inbound.push_back(good("to the port socket"));

  std::vector<std::string> got;
  std::vector<std::uint16_t> local;
  const ReplyHandler handler = [&](const DiscoveryReply& r) {
    got.emplace_back(reinterpret_cast<const char*>(r.data), r.size);
    local.push_back(r.local_port);
    EXPECT_EQ(r.address, camera);
    EXPECT_EQ(r.source_port, 37810);
  };
  engine.poll(handler);
  EXPECT_EQ(got, (std::vector<std::string>{"accepted-1", "accepted-2", "to the port socket"}));
  EXPECT_EQ(local, (std::vector<std::uint16_t>{50000, 50000, 37810}));
  got.clear();
  engine.poll(handler);
  EXPECT_EQ(got, (std::vector<std::string>{"next poll"}));
}

// A poll takes in a burst whole, reading every socket until it would block,
// and stops after its time budget when datagrams keep coming; every socket
// is read at least once.
TEST_F(ProbeEngineTest, PollReadsUntilWouldBlockWithinItsBudget) {
  const struct {
    const char* what;
    bool decode;
    int waiting;           // datagrams on the main socket
    std::uint64_t ms_per;  // clock per read
    int first_poll;        // of them read by the first poll
  } cases[] = {
      {"a burst of answers", true, 450, 0, 450},
      {"a flood that outlasts the budget", true, 1000, 1, 20},
      {"reads without a handler", false, 1000, 0, 1000},
      {"discarding within the budget", false, 1000, 2, 10},
  };
  for (const auto& c : cases) {
    FakeSockets sockets;
    ProbeEngine e(sockets, [&](const std::string&, const MacBytes&) { return nullptr; });
    ASSERT_TRUE(e.open("{GUID}", 7, ip("192.168.1.5"), ip("192.168.1.255"), kMac, c.decode));
    e.search();
    const SocketHandle main = sockets.socket_on_port(50000);
    const SocketHandle sadp = sockets.socket_on_port(37020);
    for (int i = 0; i < c.waiting; ++i) {
      sockets.sockets[main].inbound.push_back(
          {ReceiveStatus::kReceived, "answer", name_bytes(ip("192.168.1.64"), 37020), pktinfo(7)});
    }
    sockets.sockets[sadp].inbound.push_back(
        {ReceiveStatus::kReceived, "sadp", name_bytes(ip("192.168.1.65"), 37020), pktinfo(7)});
    sockets.ms_per_read = c.ms_per;
    int handled = 0;
    e.poll([&](const DiscoveryReply&) { ++handled; });
    const auto left = static_cast<int>(sockets.sockets[main].inbound.size());
    EXPECT_EQ(c.waiting - left, c.first_poll) << c.what;
    // The port socket's answer was read even when the budget was spent.
    EXPECT_TRUE(sockets.sockets[sadp].inbound.empty()) << c.what;
    EXPECT_EQ(handled, c.decode ? c.first_poll + 1 : 0) << c.what;
  }
}

// Answers still waiting in a port socket when its time is up would be lost
// with it: it stays open until a poll has read them all, within a grace.
TEST_F(ProbeEngineTest, PortSocketsHoldingAnswersCloseOnceEmptied) {
  const struct {
    const char* what;
    int waiting;          // answers on the SADP port socket at closing time
    int polls_till_shut;  // polls at 1 ms per read until the ports close
    int read;             // answers read by then
  } cases[] = {
      {"emptied by the closing poll", 15, 1, 15},
      {"one more poll", 30, 2, 30},
      // Each poll gives the main socket and the 3 listeners their one read
      // (1 ms each) first.
      {"a flood is cut off after the grace", 100000, 2, 16 + 16},
  };
  for (const auto& c : cases) {
    FakeSockets sockets;
    ProbeEngine e(sockets, [&](const std::string&, const MacBytes&) { return nullptr; });
    ASSERT_TRUE(e.open("{GUID}", 7, ip("192.168.1.5"), ip("192.168.1.255"), kMac, true));
    e.search();
    const SocketHandle sadp = sockets.socket_on_port(37020);
    for (int i = 0; i < c.waiting; ++i) {
      sockets.sockets[sadp].inbound.push_back(
          {ReceiveStatus::kReceived, "answer", name_bytes(ip("192.168.1.64"), 37020), pktinfo(7)});
    }
    sockets.now += kPortSocketLifetimeMs;
    sockets.ms_per_read = 1;
    int read = 0;
    int polls = 0;
    while (e.ports_open() && polls < 10) {
      e.poll([&](const DiscoveryReply&) { ++read; });
      ++polls;
      // The flood goes on past the grace.
      if (c.waiting > 1000 && polls == 1) sockets.now += kPortSocketGraceMs;
    }
    EXPECT_EQ(polls, c.polls_till_shut) << c.what;
    EXPECT_EQ(read, c.read) << c.what;
  }
}

// Probing alone, goodbyes and announcements come unasked to the groups'
// own ports: listened on, sharing each port, for as long as the engine is
// open; with capture running the capture sees them and nothing listens.
TEST_F(ProbeEngineTest, ProbingAloneListensOnTheAnnouncementPorts) {
  for (const bool decode : {true, false}) {
    FakeSockets sockets;
    ProbeEngine e(sockets, [&](const std::string&, const MacBytes&) { return nullptr; });
    ASSERT_TRUE(e.open("{GUID}", 7, ip("192.168.1.5"), ip("192.168.1.255"), kMac, decode));
    EXPECT_EQ(e.listener_count(), decode ? 3u : 0u);
    if (!decode) continue;
    const struct {
      std::uint16_t port;
      const char* group;
    } want[] = {{1900, "239.255.255.250"}, {3702, "239.255.255.250"}, {5353, "224.0.0.251"}};
    for (const auto& w : want) {
      const SocketHandle h = sockets.socket_on_port(w.port);
      ASSERT_NE(h, kInvalidSocket) << w.port;
      const auto& calls = sockets.sockets[h].calls;
      EXPECT_NE(std::find(calls.begin(), calls.end(), "shared=1"), calls.end()) << w.port;
      EXPECT_EQ(sockets.sockets[h].groups, std::vector<std::uint32_t>{ip(w.group)}) << w.port;
    }
    sockets.sockets[sockets.socket_on_port(1900)].inbound.push_back(
        {ReceiveStatus::kReceived, "NOTIFY", name_bytes(ip("192.168.1.64"), 1900), pktinfo(7)});
    std::vector<std::uint16_t> local;
    e.poll([&](const DiscoveryReply& r) { local.push_back(r.local_port); });
    EXPECT_EQ(local, std::vector<std::uint16_t>{1900});
    EXPECT_FALSE(e.ports_open());  // no search: the answer timer stays off
  }
}

TEST_F(ProbeEngineTest, PortsAreOpenFromASearchUntilThePollThatClosesThem) {
  for (const bool decode : {true, false}) {
    FakeSockets sockets;
    ProbeEngine e(sockets, [&](const std::string&, const MacBytes&) { return nullptr; });
    EXPECT_FALSE(e.ports_open());
    ASSERT_TRUE(e.open("{GUID}", 7, ip("192.168.1.5"), ip("192.168.1.255"), kMac, decode));
    EXPECT_FALSE(e.ports_open()) << decode;
    e.search();
    EXPECT_TRUE(e.ports_open()) << decode;
    sockets.now += kPortSocketLifetimeMs - 1;
    e.poll({});
    EXPECT_TRUE(e.ports_open()) << decode;
    sockets.now += 1;
    e.poll({});
    EXPECT_FALSE(e.ports_open()) << decode;
    e.search();
    e.close();
    EXPECT_FALSE(e.ports_open()) << decode;
  }
}

TEST(WinsockRecords, ControlMessageWalk) {
  auto join = [](std::vector<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  auto header_only = [](std::uint32_t level, std::uint32_t type, std::uint64_t length) {
    auto c = control_message(level, type, length, 0);
    c.resize(16);
    return c;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> control;
    std::optional<std::uint32_t> index;
  } const cases[] = {
      {"one", pktinfo(7), 7u},
      {"empty", {}, std::nullopt},
      {"after another message", join({control_message(0, 8, 20, 1), pktinfo(5)}), 5u},
      {"first of two", join({pktinfo(3), pktinfo(4)}), 3u},
      {"other type only", control_message(0, 8, 24, 7), std::nullopt},
      {"length 0 ends the walk", join({header_only(0, 8, 0), pktinfo(5)}), std::nullopt},
      {"length past the buffer", join({header_only(0, 8, 1000), pktinfo(5)}), std::nullopt},
      {"index outside what was written", header_only(0, 19, 24), std::nullopt},
      {"short first, none after", join({control_message(0, 19, 23, 2)}), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(packet_info_interface(c.control), c.index) << c.what;
  }
}

TEST_F(ProbeEngineTest, OnlyWellFormedBroadcastAndMulticastProbesAreSent) {
  EXPECT_EQ(engine.send_probe({"", 5678, "x", false}), 0u);  // closed
  ASSERT_TRUE(open(false));
  struct Case {
    Probe probe;
    unsigned sent;
  } const cases[] = {
      {{"10.0.0.1", 5678, "x", false}, 0},           // unicast
      {{"239.255.255.250.1", 1900, "x", false}, 0},  // not an address
      {{"239.1.2.3", 0, "x", false}, 0},             // no port
      {{"239.1.2.3", 1900, "", false}, 0},           // nothing to send
      {{"239.1.2.3", 1900, std::string(65508, 'x'), false}, 0},
      {{"239.1.2.3", 1900, std::string(65507, 'x'), false}, 1},
      {{"255.255.255.255", 5678, "x", false}, 2},  // written out, same as empty
      {{"", 5678, "x", false}, 2},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(engine.send_probe(k.probe), k.sent) << k.probe.destination;
  }
  api.sends_fail = true;
  EXPECT_EQ(engine.send_probe({"", 5678, "x", false}), 0u);
}

TEST_F(ProbeEngineTest, MissingSendMessageOnlyLosesTheSendsThatNeedIt) {
  api.send_msg_missing = true;
  ASSERT_TRUE(open(true));
  const unsigned count = engine.search();
  // Wildcard port sockets cannot be made: every probe leaves from the
  // adapter-bound main socket, and only the limited broadcasts fail.
  EXPECT_EQ(engine.port_socket_count(), 0u);
  EXPECT_EQ(count, api.sends.size());
  EXPECT_EQ(count, 6u + 5u);
  for (const auto& s : api.sends) EXPECT_FALSE(s.via_msg);
}

TEST_F(ProbeEngineTest, DestructionReleasesRawSenderThenSocketsThenWinsock) {
  ASSERT_TRUE(open(false));
  engine.search();
  api.events.clear();
  engine.close();
  ASSERT_EQ(api.events.size(), 7u);
  EXPECT_EQ(api.events.front(), "raw closed");
  EXPECT_EQ(api.events[1], "close 50000");
  EXPECT_EQ(api.events.back(), "cleanup");
  EXPECT_EQ(api.open_count(), 0);
  EXPECT_EQ(engine.search(), 0u);  // closed
}

}  // namespace
}  // namespace norvane
