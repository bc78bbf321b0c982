#include "net/probe_engine.h"

#include <algorithm>
#include <array>

#include "base/address.h"
#include "net/byte_order.h"

namespace norvane {

namespace {

constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxInterfaceIndex = 16777215;
constexpr std::uint16_t kFamilyInet = 2;
// 64-bit Windows control message: SIZE_T length, INT level, INT type, data.
constexpr std::size_t kControlHeader = 16;
constexpr std::uint32_t kLevelIp = 0;          // IPPROTO_IP
constexpr std::uint32_t kTypePacketInfo = 19;  // IP_PKTINFO
constexpr std::size_t kPacketInfoLength = 24;  // header + address + index

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t le64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(le32(p)) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}

bool is_multicast(std::uint32_t network) {
  return (host_from_network(network) & 0xF0000000u) == 0xE0000000u;
}

std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace

std::optional<std::uint32_t> packet_info_interface(std::span<const std::uint8_t> control) {
  std::size_t offset = 0;
  while (control.size() >= kControlHeader && offset <= control.size() - kControlHeader) {
    const std::uint8_t* header = control.data() + offset;
    const std::uint64_t length = le64(header);
    if (le32(header + 8) == kLevelIp && le32(header + 12) == kTypePacketInfo &&
        length >= kPacketInfoLength) {
      // The index must lie inside what was written, whatever the length says.
      if (control.size() < kPacketInfoLength || offset > control.size() - kPacketInfoLength) {
        return std::nullopt;
      }
      return le32(header + 20);
    }
    // A length that does not move the walk forward would never end it.
    if (length == 0 || length > control.size()) break;
    offset += static_cast<std::size_t>((length + 7) & ~std::uint64_t{7});
  }
  return std::nullopt;
}

std::optional<DatagramSource> datagram_source(std::span<const std::uint8_t> name) {
  if (name.size() < 16) return std::nullopt;
  const auto family = static_cast<std::uint16_t>(name[0] | name[1] << 8);
  if (family != kFamilyInet) return std::nullopt;
  DatagramSource s;
  s.port = static_cast<std::uint16_t>(name[2] << 8 | name[3]);
  s.address = network_from_bytes(name.data() + 4);
  return s;
}

// ---------------------------------------------------------------------------

ProbeContext::ProbeContext(SocketApi& api, std::uint32_t if_index_, std::uint32_t ipv4_,
                           std::uint32_t broadcast_, const MacBytes& mac_, bool decode_datagrams_)
    : if_index(if_index_),
      ipv4(ipv4_),
      broadcast(broadcast_),
      mac(mac_),
      decode_datagrams(decode_datagrams_),
      api_(api) {}

ProbeContext::~ProbeContext() {
  raw_sender.reset();
  close_socket(main_socket);
  close_port_sockets();
  if (winsock_started) api_.cleanup();
}

void ProbeContext::close_socket(ProbeSocket& socket) {
  if (socket.valid()) api_.close(socket.socket);
  socket = ProbeSocket{};
}

void ProbeContext::close_port_sockets() {
  for (auto& s : port_sockets) close_socket(s);
  port_sockets.clear();
}

ProbeSocket ProbeContext::make_socket(std::uint32_t bind_address, std::uint16_t port,
                                      bool with_pktinfo) {
  ProbeSocket result;
  const SocketHandle h = api_.open_udp();
  if (h == kInvalidSocket) return result;
  const auto fail = [&]() {
    api_.close(h);
    return ProbeSocket{};
  };
  const std::uint32_t index = network_from_host(if_index);
  if (!api_.set_option(h, SocketOption::kExclusiveAddrUse, 1) ||
      !api_.set_option(h, SocketOption::kBroadcast, 1) ||
      !api_.set_option(h, SocketOption::kUnicastInterface, index)) {
    return fail();
  }
  // Windows takes the interface by index; some stacks (Wine among them) only
  // by address, which names the same interface.
  if (!api_.set_option(h, SocketOption::kMulticastInterface, index) &&
      !api_.set_option(h, SocketOption::kMulticastInterface, ipv4)) {
    return fail();
  }
  if (!api_.set_option(h, SocketOption::kMulticastTtl, 1) ||
      !api_.set_option(h, SocketOption::kTtl, 1) ||
      (with_pktinfo && !api_.set_option(h, SocketOption::kPacketInfo, 1)) ||
      !api_.set_nonblocking(h) || !api_.bind(h, bind_address, port)) {
    return fail();
  }
  api_.set_option(h, SocketOption::kReceiveBuffer, kSocketReceiveBuffer);

  std::uint16_t local_port = port;
  RecvMsgFunction recv_msg = nullptr;
  if (with_pktinfo) {
    recv_msg = api_.recv_msg_function(h);
    if (!recv_msg || !api_.bound_port(h, local_port)) return fail();
    if (bind_address == 0 && !api_.send_msg_available(h)) return fail();
  }
  result.socket = h;
  result.local_port = local_port;
  result.bound_to_any = bind_address == 0;
  result.recv_msg = recv_msg;
  return result;
}

ProbeSocket& ProbeContext::socket_for(const Probe& probe) {
  if (!probe.own_port) return main_socket;
  for (auto& s : port_sockets) {
    if (s.local_port == probe.port) return s;
  }
  ProbeSocket made = make_socket(decode_datagrams ? 0 : ipv4, probe.port, decode_datagrams);
  // A port held by another program does not stop the probe: it leaves from
  // the main socket instead.
  if (!made.valid()) return main_socket;
  port_sockets.push_back(std::move(made));
  return port_sockets.back();
}

bool ProbeContext::send_datagram(const ProbeSocket& socket, std::uint32_t address,
                                 std::uint16_t port, std::span<const std::uint8_t> payload) {
  if (!socket.valid()) return false;
  if (socket.bound_to_any || address == kLimitedBroadcast) {
    // Names the adapter's address and interface even for a wildcard socket
    // and the limited broadcast, which would otherwise follow the routes.
    return api_.send_msg(socket.socket, address, port, payload, ipv4, if_index) ==
           static_cast<std::int64_t>(payload.size());
  }
  return api_.send_to(socket.socket, address, port, payload) ==
         static_cast<std::int64_t>(payload.size());
}

void ProbeContext::join_group(ProbeSocket& socket, std::uint32_t group) {
  if (!socket.valid()) return;
  const auto& joined = socket.joined_groups;
  if (std::find(joined.begin(), joined.end(), group) != joined.end()) return;
  // As with IP_MULTICAST_IF: Windows takes the interface by index, Wine only
  // by the adapter's address (the index form fails there with ENODEV).
  if (api_.join_group(socket.socket, group, network_from_host(if_index)) ||
      api_.join_group(socket.socket, group, ipv4)) {
    socket.joined_groups.push_back(group);
  }
}

unsigned ProbeContext::send_probe(const Probe& probe) {
  if (probe.port == 0 || probe.payload.empty() || probe.payload.size() > kMaxProbePayload) {
    return 0;
  }
  std::uint32_t destination = kLimitedBroadcast;
  if (!probe.destination.empty()) {
    std::uint8_t b[4];
    if (!parse_ipv4(probe.destination, b)) return 0;
    destination = network_from_bytes(b);
  }
  const auto payload = bytes_of(probe.payload);
  if (destination == kLimitedBroadcast) {
    const ProbeSocket& socket = socket_for(probe);
    unsigned sent = 0;
    if (broadcast != 0 && broadcast != kLimitedBroadcast &&
        send_datagram(socket, broadcast, probe.port, payload)) {
      ++sent;
    }
    if (send_datagram(socket, kLimitedBroadcast, probe.port, payload)) ++sent;
    return sent;
  }
  if (is_multicast(destination)) {
    ProbeSocket& socket = socket_for(probe);
    const bool main = &socket == &main_socket;
    join_group(main_socket, destination);
    if (!main && decode_datagrams) join_group(socket, destination);
    return send_datagram(socket, destination, probe.port, payload) ? 1 : 0;
  }
  return 0;  // no unicast discovery
}

unsigned ProbeContext::send_raw_inquiry() {
  if (!raw_sender || !raw_sender->has_handle()) return 0;
  const std::vector<std::uint8_t> frame = sadp_inquiry_frame(&mac, ipv4);
  if (frame.empty()) return 0;
  return raw_sender->send_frame(frame) ? 1 : 0;
}

bool ProbeContext::receive(const ProbeSocket& socket, const ReplyHandler& handler,
                           std::uint64_t deadline) {
  if (!socket.valid()) return true;
  // A reset (an ICMP answer to an earlier send) or an oversized datagram is
  // one read more; anything else that is not a datagram ends the reading.
  const auto goes_on = [](ReceiveStatus status) {
    return status == ReceiveStatus::kReceived || status == ReceiveStatus::kConnectionReset ||
           status == ReceiveStatus::kMessageSize;
  };
  if (!socket.recv_msg || !handler) {
    std::array<std::uint8_t, kDiscardBufferSize> buffer;
    do {
      if (!goes_on(api_.receive(socket.socket, buffer))) return true;
    } while (api_.now_ms() < deadline);
    return false;
  }
  std::vector<std::uint8_t> data(kDecodeBufferSize);
  std::array<std::uint8_t, 16> name;
  alignas(8) std::array<std::uint8_t, kPacketInfoLength> control;
  do {
    name.fill(0);
    control.fill(0);
    const ReceivedMessage m = api_.receive_msg(socket.socket, socket.recv_msg, data, name, control);
    if (!goes_on(m.status)) return true;
    if (m.status != ReceiveStatus::kReceived) continue;
    if (m.truncated || m.control_truncated) continue;
    if (m.bytes < 1 || m.bytes > kDecodeBufferSize) continue;
    const auto source = datagram_source(std::span<const std::uint8_t>(name).first(
        std::min<std::size_t>(m.source_length, name.size())));
    if (!source || source->address == 0 || source->address == ipv4) continue;
    const auto arrived = packet_info_interface(std::span<const std::uint8_t>(control).first(
        std::min<std::size_t>(m.control_length, control.size())));
    if (!arrived || *arrived != if_index) continue;
    DiscoveryReply reply;
    reply.address = source->address;
    reply.source_port = source->port;
    reply.local_port = socket.local_port;
    reply.data = data.data();
    reply.size = m.bytes;
    handler(reply);
  } while (api_.now_ms() < deadline);
  return false;
}

// ---------------------------------------------------------------------------

ProbeEngine::ProbeEngine(SocketApi& api, RawSenderOpener raw_opener, UuidSource uuid)
    : api_(api), raw_opener_(std::move(raw_opener)), uuid_(std::move(uuid)) {}

ProbeEngine::~ProbeEngine() { close(); }

bool ProbeEngine::open(const std::string& adapter_name, std::uint32_t if_index, std::uint32_t ipv4,
                       std::uint32_t broadcast, const MacBytes& mac, bool decode_datagrams) {
  close();
  auto context =
      std::make_unique<ProbeContext>(api_, if_index, ipv4, broadcast, mac, decode_datagrams);
  if (if_index >= 1 && if_index <= kMaxInterfaceIndex && ipv4 != 0 && ipv4 != kLimitedBroadcast) {
    context->winsock_started = api_.startup();
    if (context->winsock_started) {
      context->main_socket = context->make_socket(ipv4, 0, decode_datagrams);
    }
  }
  if (!decode_datagrams && raw_opener_) context->raw_sender = raw_opener_(adapter_name, mac);
  const bool raw = context->raw_sender && context->raw_sender->has_handle();
  if (!context->main_socket.valid() && !raw) return false;
  context_ = std::move(context);
  return true;
}

void ProbeEngine::close() { context_.reset(); }

unsigned ProbeEngine::search() {
  if (!context_) return 0;
  ProbeContext& c = *context_;
  if (!c.decode_datagrams) poll(ReplyHandler{});
  if (!c.main_socket.valid()) return c.send_raw_inquiry();
  c.close_ports_at = api_.now_ms() + kPortSocketLifetimeMs;
  unsigned count = 0;
  for (const Probe& probe : build_probes(uuid_)) count += c.send_probe(probe);
  count += c.send_raw_inquiry();
  return count;
}

void ProbeEngine::poll(const ReplyHandler& handler) {
  if (!context_) return;
  ProbeContext& c = *context_;
  const std::uint64_t deadline = api_.now_ms() + kPollBudgetMs;
  c.receive(c.main_socket, handler, deadline);
  bool emptied = true;
  for (const auto& s : c.port_sockets) emptied = c.receive(s, handler, deadline) && emptied;
  // Answers still waiting in a port socket would be lost with it.
  const std::uint64_t now = api_.now_ms();
  if (now >= c.close_ports_at && (emptied || now >= c.close_ports_at + kPortSocketGraceMs)) {
    c.close_port_sockets();
  }
}

}  // namespace norvane
