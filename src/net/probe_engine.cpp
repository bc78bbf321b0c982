#include "net/probe_engine.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/address.h"
#include "net/byte_order.h"

namespace norvane {

namespace {

constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxInterfaceIndex = 16777215;

bool is_multicast(std::uint32_t network) {
  return (host_from_network(network) & 0xF0000000u) == 0xE0000000u;
}

std::span<const std::uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// One socket of the engine. The only owner of its handle: moved, never
// copied, and closed exactly once, by destruction or reset.
class ProbeSocket {
 public:
  ProbeSocket() = default;
  ProbeSocket(SocketApi& api, SocketHandle handle, std::uint16_t local_port, bool bound_to_any,
              RecvMsgFunction recv_msg)
      : api_(&api),
        handle_(handle),
        local_port_(local_port),
        bound_to_any_(bound_to_any),
        recv_msg_(recv_msg) {}
  ~ProbeSocket() { reset(); }
  ProbeSocket(ProbeSocket&& other) noexcept { *this = std::move(other); }
  ProbeSocket& operator=(ProbeSocket&& other) noexcept {
    if (this != &other) {
      reset();
      api_ = std::exchange(other.api_, nullptr);
      handle_ = std::exchange(other.handle_, kInvalidSocket);
      local_port_ = std::exchange(other.local_port_, 0);
      bound_to_any_ = std::exchange(other.bound_to_any_, false);
      recv_msg_ = std::exchange(other.recv_msg_, nullptr);
      joined_groups_ = std::move(other.joined_groups_);
      other.joined_groups_.clear();
    }
    return *this;
  }
  ProbeSocket(const ProbeSocket&) = delete;
  ProbeSocket& operator=(const ProbeSocket&) = delete;

  void reset() noexcept {
    if (api_ && handle_ != kInvalidSocket) api_->close(handle_);
    api_ = nullptr;
    handle_ = kInvalidSocket;
    local_port_ = 0;
    bound_to_any_ = false;
    recv_msg_ = nullptr;
    joined_groups_.clear();
  }

  bool valid() const noexcept { return handle_ != kInvalidSocket; }
  SocketHandle handle() const noexcept { return handle_; }
  std::uint16_t local_port() const noexcept { return local_port_; }
  bool bound_to_any() const noexcept { return bound_to_any_; }
  RecvMsgFunction recv_msg() const noexcept { return recv_msg_; }
  bool joined(std::uint32_t group) const {
    return std::find(joined_groups_.begin(), joined_groups_.end(), group) != joined_groups_.end();
  }
  void add_group(std::uint32_t group) { joined_groups_.push_back(group); }
  // A socket made for decoding: its port as bound, and its receive call.
  void receive_with(std::uint16_t bound_port, RecvMsgFunction recv_msg) noexcept {
    local_port_ = bound_port;
    recv_msg_ = recv_msg;
  }

 private:
  SocketApi* api_ = nullptr;
  SocketHandle handle_ = kInvalidSocket;
  std::uint16_t local_port_ = 0;  // host order
  bool bound_to_any_ = false;
  RecvMsgFunction recv_msg_ = nullptr;
  std::vector<std::uint32_t> joined_groups_;  // network order
};

// Owes the layer its cleanup once startup succeeded.
class SocketLayerSession {
 public:
  explicit SocketLayerSession(SocketApi& api) : api_(api.startup() ? &api : nullptr) {}
  ~SocketLayerSession() {
    if (api_) api_->cleanup();
  }
  SocketLayerSession(const SocketLayerSession&) = delete;
  SocketLayerSession& operator=(const SocketLayerSession&) = delete;
  explicit operator bool() const noexcept { return api_ != nullptr; }

 private:
  SocketApi* api_ = nullptr;
};

}  // namespace

// Everything the engine holds for one adapter. Its members are declared so
// that destruction releases the raw sender first, then the main socket, then
// the port sockets, and ends the socket layer's session last.
class ProbeContext {
 public:
  ProbeContext(SocketApi& api, std::uint32_t if_index, std::uint32_t ipv4, std::uint32_t broadcast,
               const MacBytes& mac, bool decode_datagrams)
      : api_(api),
        if_index_(if_index),
        ipv4_(ipv4),
        broadcast_(broadcast),
        mac_(mac),
        decode_datagrams_(decode_datagrams),
        datagram_(kDecodeBufferSize) {}
  ProbeContext(const ProbeContext&) = delete;
  ProbeContext& operator=(const ProbeContext&) = delete;

  // Starts the socket layer and makes the main socket; false without one.
  bool open_main_socket();
  // Probing alone: the sockets on the announcement ports, each joined to
  // its group; a port no other program lets us share is simply not heard.
  void open_listeners();
  std::size_t listener_count() const noexcept { return listeners_.size(); }
  void open_raw_sender(const RawSenderOpener& opener, const std::string& adapter_name);
  bool can_send() const { return main_socket_.valid() || has_raw_sender(); }
  std::uint16_t main_port() const noexcept { return main_socket_.local_port(); }
  std::size_t port_socket_count() const noexcept { return port_sockets_.size(); }

  unsigned search(const UuidSource& uuid);
  unsigned send_probe(const Probe& probe);
  unsigned send_raw_inquiry();
  void poll(const ReplyHandler& handler);

 private:
  bool has_raw_sender() const { return raw_sender_ && raw_sender_->has_handle(); }
  ProbeSocket make_socket(std::uint32_t bind_address, std::uint16_t port, bool with_pktinfo,
                          bool shared = false);
  ProbeSocket& socket_for(const Probe& probe);
  bool send_datagram(const ProbeSocket& socket, std::uint32_t address, std::uint16_t port,
                     std::span<const std::uint8_t> payload);
  void join_group(ProbeSocket& socket, std::uint32_t group);
  // Reads until the socket would block or the tick count `deadline` has
  // come, at least once. False when the deadline ended the reading.
  bool receive(const ProbeSocket& socket, const ReplyHandler& handler, std::uint64_t deadline);

  SocketApi& api_;
  std::uint32_t if_index_;
  std::uint32_t ipv4_;       // network order
  std::uint32_t broadcast_;  // network order
  MacBytes mac_;
  bool decode_datagrams_;
  // Where answers are read to be handed on, kept from poll to poll: the
  // answer timer polls every 20 ms while port sockets are open.
  std::vector<std::uint8_t> datagram_;
  std::uint64_t close_ports_at_ = 0;
  std::optional<SocketLayerSession> session_;
  std::vector<ProbeSocket> port_sockets_;
  std::vector<ProbeSocket> listeners_;
  ProbeSocket main_socket_;
  std::unique_ptr<RawFrameSender> raw_sender_;
};

bool ProbeContext::open_main_socket() {
  if (if_index_ < 1 || if_index_ > kMaxInterfaceIndex || ipv4_ == 0 || ipv4_ == kLimitedBroadcast) {
    return false;
  }
  session_.emplace(api_);
  if (!*session_) return false;
  main_socket_ = make_socket(ipv4_, 0, decode_datagrams_);
  return main_socket_.valid();
}

void ProbeContext::open_raw_sender(const RawSenderOpener& opener, const std::string& adapter_name) {
  if (opener) raw_sender_ = opener(adapter_name, mac_);
}

void ProbeContext::open_listeners() {
  if (!decode_datagrams_ || !main_socket_.valid()) return;
  for (const AnnouncementPort& a : kAnnouncementPorts) {
    std::uint8_t b[4];
    if (!parse_ipv4(a.group, b)) continue;
    ProbeSocket socket = make_socket(0, a.port, true, true);
    if (!socket.valid()) continue;
    join_group(socket, network_from_bytes(b));
    if (socket.joined(network_from_bytes(b))) listeners_.push_back(std::move(socket));
  }
}

ProbeSocket ProbeContext::make_socket(std::uint32_t bind_address, std::uint16_t port,
                                      bool with_pktinfo, bool shared) {
  const SocketHandle h = api_.open_udp();
  if (h == kInvalidSocket) return {};
  // Owned from here on: every early return closes it.
  ProbeSocket socket(api_, h, port, bind_address == 0, nullptr);
  if (!api_.set_option(h, shared ? SocketOption::kShareAddress : SocketOption::kExclusiveAddrUse,
                       1) ||
      !api_.set_option(h, SocketOption::kBroadcast, 1) ||
      !api_.set_unicast_interface(h, if_index_) ||
      !api_.set_multicast_interface(h, if_index_, ipv4_) ||
      !api_.set_option(h, SocketOption::kMulticastTtl, 1) ||
      !api_.set_option(h, SocketOption::kTtl, 1) ||
      (with_pktinfo && !api_.set_option(h, SocketOption::kPacketInfo, 1)) ||
      !api_.set_nonblocking(h) || !api_.bind(h, bind_address, port)) {
    return {};
  }
  api_.set_option(h, SocketOption::kReceiveBuffer, kSocketReceiveBuffer);
  if (!with_pktinfo) return socket;

  const RecvMsgFunction recv_msg = api_.recv_msg_function(h);
  std::uint16_t local_port = port;
  if (!recv_msg || !api_.bound_port(h, local_port)) return {};
  if (bind_address == 0 && !api_.send_msg_available(h)) return {};
  socket.receive_with(local_port, recv_msg);
  return socket;
}

ProbeSocket& ProbeContext::socket_for(const Probe& probe) {
  if (!probe.own_port) return main_socket_;
  for (auto& s : port_sockets_) {
    if (s.local_port() == probe.port) return s;
  }
  ProbeSocket made = make_socket(decode_datagrams_ ? 0 : ipv4_, probe.port, decode_datagrams_);
  // A port held by another program does not stop the probe: it leaves from
  // the main socket instead.
  if (!made.valid()) return main_socket_;
  port_sockets_.push_back(std::move(made));
  return port_sockets_.back();
}

bool ProbeContext::send_datagram(const ProbeSocket& socket, std::uint32_t address,
                                 std::uint16_t port, std::span<const std::uint8_t> payload) {
  if (!socket.valid()) return false;
  if (socket.bound_to_any() || address == kLimitedBroadcast) {
    // Names the adapter's address and interface even for a wildcard socket
    // and the limited broadcast, which would otherwise follow the routes.
    return api_.send_msg(socket.handle(), address, port, payload, ipv4_, if_index_) ==
           static_cast<std::int64_t>(payload.size());
  }
  return api_.send_to(socket.handle(), address, port, payload) ==
         static_cast<std::int64_t>(payload.size());
}

void ProbeContext::join_group(ProbeSocket& socket, std::uint32_t group) {
  if (!socket.valid() || socket.joined(group)) return;
  // A refused join is tried again with the next probe to the group.
  if (api_.join_group(socket.handle(), group, if_index_, ipv4_)) socket.add_group(group);
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
    if (broadcast_ != 0 && broadcast_ != kLimitedBroadcast &&
        send_datagram(socket, broadcast_, probe.port, payload)) {
      ++sent;
    }
    if (send_datagram(socket, kLimitedBroadcast, probe.port, payload)) ++sent;
    return sent;
  }
  if (is_multicast(destination)) {
    ProbeSocket& socket = socket_for(probe);
    const bool main = &socket == &main_socket_;
    join_group(main_socket_, destination);
    if (!main && decode_datagrams_) join_group(socket, destination);
    return send_datagram(socket, destination, probe.port, payload) ? 1 : 0;
  }
  return 0;  // no unicast discovery
}

unsigned ProbeContext::send_raw_inquiry() {
  if (!has_raw_sender()) return 0;
  const std::vector<std::uint8_t> frame = sadp_inquiry_frame(&mac_, ipv4_);
  if (frame.empty()) return 0;
  return raw_sender_->send_frame(frame) ? 1 : 0;
}

unsigned ProbeContext::search(const UuidSource& uuid) {
  if (!decode_datagrams_) poll(ReplyHandler{});
  if (!main_socket_.valid()) return send_raw_inquiry();
  close_ports_at_ = api_.now_ms() + kPortSocketLifetimeMs;
  unsigned count = 0;
  for (const Probe& probe : build_probes(uuid)) count += send_probe(probe);
  count += send_raw_inquiry();
  return count;
}

void ProbeContext::poll(const ReplyHandler& handler) {
  const std::uint64_t deadline = api_.now_ms() + kPollBudgetMs;
  receive(main_socket_, handler, deadline);
  for (const auto& s : listeners_) receive(s, handler, deadline);
  bool emptied = true;
  for (const auto& s : port_sockets_) emptied = receive(s, handler, deadline) && emptied;
  // Answers still waiting in a port socket would be lost with it.
  const std::uint64_t now = api_.now_ms();
  if (now >= close_ports_at_ && (emptied || now >= close_ports_at_ + kPortSocketGraceMs)) {
    port_sockets_.clear();
  }
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
  if (!socket.recv_msg() || !handler) {
    std::array<std::uint8_t, kDiscardBufferSize> buffer;
    do {
      if (!goes_on(api_.receive(socket.handle(), buffer))) return true;
    } while (api_.now_ms() < deadline);
    return false;
  }
  std::vector<std::uint8_t>& data = datagram_;
  do {
    const ReceivedMessage m = api_.receive_msg(socket.handle(), socket.recv_msg(), data);
    if (!goes_on(m.status)) return true;
    if (m.status != ReceiveStatus::kReceived) continue;
    if (m.truncated || m.control_truncated) continue;
    if (m.bytes < 1 || m.bytes > kDecodeBufferSize) continue;
    // Datagrams from the adapter's own address are handed over too: most are
    // this machine's own services answering, but a device squatting on the
    // address answers from there as well, and only the decoded answer tells
    // the two apart (see keep_reply).
    if (!m.source || m.source->address == 0) continue;
    if (!m.arrival_interface || *m.arrival_interface != if_index_) continue;
    DiscoveryReply reply;
    reply.address = m.source->address;
    reply.source_port = m.source->port;
    reply.local_port = socket.local_port();
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
  context->open_main_socket();
  context->open_listeners();
  if (!decode_datagrams) context->open_raw_sender(raw_opener_, adapter_name);
  if (!context->can_send()) return false;
  context_ = std::move(context);
  return true;
}

void ProbeEngine::close() { context_.reset(); }

unsigned ProbeEngine::search() { return context_ ? context_->search(uuid_) : 0; }

void ProbeEngine::poll(const ReplyHandler& handler) {
  if (context_) context_->poll(handler);
}

unsigned ProbeEngine::send_probe(const Probe& probe) {
  return context_ ? context_->send_probe(probe) : 0;
}

std::uint16_t ProbeEngine::main_port() const noexcept {
  return context_ ? context_->main_port() : 0;
}

std::size_t ProbeEngine::listener_count() const noexcept {
  return context_ ? context_->listener_count() : 0;
}

std::size_t ProbeEngine::port_socket_count() const noexcept {
  return context_ ? context_->port_socket_count() : 0;
}

}  // namespace norvane
