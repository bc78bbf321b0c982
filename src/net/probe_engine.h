// The UDP probe engine: sends one search out of the selected adapter and,
// while no capture back-end runs, receives and hands over the answers.
// Driven from the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// Probing alone, the engine also listens where devices announce themselves
// and say goodbye unasked (SSDP, WS-Discovery, mDNS), sharing each port with
// the system's own services.
struct AnnouncementPort {
  std::uint16_t port;
  const char* group;
};
inline constexpr AnnouncementPort kAnnouncementPorts[] = {
    {1900, "239.255.255.250"}, {3702, "239.255.255.250"}, {5353, "224.0.0.251"}};

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

// Sends nothing and hears nothing: capture alone (a passive run, and
// measurements of the capture path).
class SilentProbeEngine final : public ProbeEngineInterface {
 public:
  bool open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, const MacBytes&,
            bool) override {
    return false;
  }
  void close() override {}
  unsigned search() override { return 0; }
  void poll(const ReplyHandler&) override {}
};

using RawSenderOpener =
    std::function<std::unique_ptr<RawFrameSender>(const std::string&, const MacBytes&)>;

// Everything the engine holds for one adapter: its sockets and the raw
// sender (probe_engine.cpp).
class ProbeContext;

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
  bool ports_open() const override { return port_socket_count() != 0; }

  bool is_open() const noexcept { return context_ != nullptr; }
  // Sends one probe as a search would; the count of successful sends, 0
  // when closed.
  unsigned send_probe(const Probe& probe);
  // The main socket's port as bound (0 when closed or without one), and the
  // number of port sockets open.
  std::uint16_t main_port() const noexcept;
  std::size_t port_socket_count() const noexcept;
  // Announcement ports listened on (probing alone only).
  std::size_t listener_count() const noexcept;

 private:
  SocketApi& api_;
  RawSenderOpener raw_opener_;
  UuidSource uuid_;
  std::unique_ptr<ProbeContext> context_;
};

}  // namespace norvane
