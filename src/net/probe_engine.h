// The UDP probe engine: sends one search out of the selected adapter and,
// while no capture back-end runs, receives and hands over the answers.
// Driven from the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/packet_summary.h"
#include "net/adapter.h"
#include "net/probes.h"
#include "net/raw_sender.h"
#include "net/socket_api.h"

namespace norvane {

using ReplyHandler = std::function<void(const DiscoveryReply&)>;

inline constexpr std::uint64_t kPortSocketLifetimeMs = 2500;
// Port sockets that still hold answers when their time is up stay open
// until a poll has read them all, for at most this much longer.
inline constexpr std::uint64_t kPortSocketGraceMs = 2500;
inline constexpr std::size_t kMaxProbePayload = 65507;
inline constexpr std::size_t kDecodeBufferSize = 16384;
inline constexpr std::size_t kDiscardBufferSize = 2048;
// The system's buffer of every socket: a search on a large site brings
// hundreds of answers of about 1 KB within a moment (a camera answers each
// of the three SADP inquiries), which must wait there for the next poll.
inline constexpr std::uint32_t kSocketReceiveBuffer = 1u << 20;
// A poll reads every socket until it would block, for at most this long
// (each socket is read at least once), so that a burst is taken in at once
// and a flood of datagrams cannot hold the UI thread.
inline constexpr std::uint64_t kPollBudgetMs = 20;

// The interface index of the first IPv4 packet-info control message of at
// least 24 bytes, walking 64-bit Windows control messages in order; nothing
// when there is none.
std::optional<std::uint32_t> packet_info_interface(std::span<const std::uint8_t> control);

// Sender of a received datagram from a sockaddr_in as the platform wrote it:
// IPv4 family, at least 16 bytes. Address in network order, port host order.
struct DatagramSource {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};
std::optional<DatagramSource> datagram_source(std::span<const std::uint8_t> name);

// What the capture control asks of a probe engine; tests give a fake.
class ProbeEngineInterface {
 public:
  virtual ~ProbeEngineInterface() = default;
  virtual bool open(const std::string& adapter_name, std::uint32_t if_index, std::uint32_t ipv4,
                    std::uint32_t broadcast, const MacBytes& mac, bool decode_datagrams) = 0;
  virtual void close() = 0;
  virtual unsigned search() = 0;
  // An empty handler reads and discards.
  virtual void poll(const ReplyHandler& handler) = 0;
  // Sockets of well-known ports are open, which a search opens and a poll
  // closes 2.5 s later: answers to it are on their way.
  virtual bool ports_open() const { return false; }
};

struct ProbeSocket {
  SocketHandle socket = kInvalidSocket;
  std::uint16_t local_port = 0;
  bool bound_to_any = false;
  RecvMsgFunction recv_msg = nullptr;
  std::vector<std::uint32_t> joined_groups;

  bool valid() const noexcept { return socket != kInvalidSocket; }
};

using RawSenderOpener =
    std::function<std::unique_ptr<RawFrameSender>(const std::string&, const MacBytes&)>;

// Everything the engine holds for one adapter. Owns its sockets and the raw
// sender; moved, never copied.
class ProbeContext {
 public:
  ProbeContext(SocketApi& api, std::uint32_t if_index, std::uint32_t ipv4, std::uint32_t broadcast,
               const MacBytes& mac, bool decode_datagrams);
  ~ProbeContext();
  ProbeContext(const ProbeContext&) = delete;
  ProbeContext& operator=(const ProbeContext&) = delete;

  std::uint32_t if_index;
  std::uint32_t ipv4;
  std::uint32_t broadcast;
  MacBytes mac;
  bool winsock_started = false;
  bool decode_datagrams;
  ProbeSocket main_socket;
  std::vector<ProbeSocket> port_sockets;
  std::uint64_t close_ports_at = 0;
  std::unique_ptr<RawFrameSender> raw_sender;

  ProbeSocket make_socket(std::uint32_t bind_address, std::uint16_t port, bool with_pktinfo);
  ProbeSocket& socket_for(const Probe& probe);
  bool send_datagram(const ProbeSocket& socket, std::uint32_t address, std::uint16_t port,
                     std::span<const std::uint8_t> payload);
  void join_group(ProbeSocket& socket, std::uint32_t group);
  unsigned send_probe(const Probe& probe);
  unsigned send_raw_inquiry();
  // Reads until the socket would block or the tick count `deadline` has
  // come, at least once. False when the deadline ended the reading.
  bool receive(const ProbeSocket& socket, const ReplyHandler& handler, std::uint64_t deadline);
  void close_socket(ProbeSocket& socket);
  void close_port_sockets();

 private:
  SocketApi& api_;
};

class ProbeEngine final : public ProbeEngineInterface {
 public:
  explicit ProbeEngine(SocketApi& api, RawSenderOpener raw_opener = open_raw_sender,
                       UuidSource uuid = uuid_text);
  ~ProbeEngine() override;
  ProbeEngine(const ProbeEngine&) = delete;
  ProbeEngine& operator=(const ProbeEngine&) = delete;

  bool open(const std::string& adapter_name, std::uint32_t if_index, std::uint32_t ipv4,
            std::uint32_t broadcast, const MacBytes& mac, bool decode_datagrams) override;
  void close() override;
  unsigned search() override;
  void poll(const ReplyHandler& handler) override;
  bool ports_open() const override { return context_ && !context_->port_sockets.empty(); }

  bool is_open() const noexcept { return context_ != nullptr; }
  const ProbeContext* context() const noexcept { return context_.get(); }

 private:
  SocketApi& api_;
  RawSenderOpener raw_opener_;
  UuidSource uuid_;
  std::unique_ptr<ProbeContext> context_;
};

}  // namespace norvane
