// norvane-scan: the discovery engine of Norvane on one Linux adapter. It
// probes and captures for a few seconds (or until Ctrl+C with --watch) and
// prints the device list: a table on a terminal, JSON Lines or CSV otherwise.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/discovery_session.h"
#include "app/list_export.h"
#include "app/list_model.h"
#include "app/switch_port.h"
#include "base/address.h"
#include "capture/capture_control.h"
#include "capture/pcap_capture_posix.h"
#include "decode/frame.h"
#include "json_lines.h"
#include "model/device_table.h"
#include "net/adapter.h"
#include "net/probe_engine.h"
#include "net/socket_api.h"
#include "scan_events.h"
#include "terminal_table.h"
#include "tool_vendors.h"
#include "vendors/vendor_table.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0"
#endif

namespace {

using namespace norvane;
using tool::exit_status;
using tool::kExitFailed;
using tool::kExitOk;
using tool::kExitUsage;
using tool::render_table;
using tool::status_line;

constexpr const char* kProgram = "norvane-scan";

std::atomic<bool> interrupted{false};

void on_signal(int) { interrupted.store(true); }

void error(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

std::uint64_t now_ms() { return system_sockets().now_ms(); }

// The table, the status line, the interface labels and the CSV header
// follow the locale; JSON keys and tokens never do.
bool english() {
  static const bool value =
      !tool::polish_locale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
  return value;
}

std::string interface_label(const NetworkAdapter& adapter) {
  if (!english()) return utf16_to_utf8(adapter_label(adapter));
  std::string label = utf16_to_utf8(adapter.display_name);
  if (!adapter.description.empty() && adapter.description != adapter.display_name) {
    label += " \u2014 " + utf16_to_utf8(adapter.description);
  }
  return adapter.connected ? label : label + " (disconnected)";
}

// The window's CSV export, with its header in English unless the locale is
// Polish; the rows are the list's own texts.
std::string csv_text(const DeviceTable& table, const std::vector<std::size_t>& rows) {
  std::string csv = table_csv(table.rows(), rows, u',');
  if (!english()) return csv;
  const std::size_t bom = csv.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  const std::size_t end = csv.find("\r\n");
  if (end == std::string::npos) return csv;
  return csv.substr(0, bom) +
         "IP address,MAC address,Vendor,Name,Model / description,Protocols,Information,State" +
         csv.substr(end);
}

std::int64_t unix_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string ipv4_text(std::uint32_t network) {
  return network == 0 ? std::string("-")
                      : format_ipv4(reinterpret_cast<const std::uint8_t*>(&network));
}

// Only what the program uses: raw packet sockets, for capture and for the
// raw SADP inquiry.
std::string setcap_advice() {
  return "sudo setcap cap_net_raw=ep " + std::filesystem::read_symlink("/proc/self/exe").string();
}

struct Options {
  std::string interface;
  double seconds = 5;
  bool seconds_given = false;
  double interval = 0;
  std::uint32_t receive_buffer = 0;  // 0: as the probe engine asks
  bool watch = false;
  std::string format;  // empty: table on a terminal, jsonl otherwise
  bool passive = false;
  bool no_capture = false;
  std::string vendors;
  bool list_interfaces = false;
};

// The session's host: the one adapter, libpcap for capture, and the list
// model that presents the table.
class ScanHost final : public SessionHost {
 public:
  ScanHost(const Options& options, NetworkAdapter adapter, bool may_capture)
      : options_(options), adapter_(std::move(adapter)), may_capture_(may_capture) {}

  void attach(DiscoverySession* session, ListModel* list) {
    session_ = session;
    list_ = list;
  }

  std::optional<NetworkAdapter> selected_adapter() override {
    refresh_adapter(adapter_, list_adapters());
    // A lease renewed during --watch may move the adapter to another network.
    if (session_) session_->table().set_local_network(local_network_of(adapter_));
    return adapter_;
  }
  std::unique_ptr<CaptureBackend> start_pktmon(const NetworkAdapter&, FrameCallback,
                                               std::u16string& failure) override {
    failure = u"Packet Monitor is a Windows API";
    return nullptr;
  }
  std::unique_ptr<CaptureBackend> start_npcap(const NetworkAdapter& adapter, FrameCallback on_frame,
                                              FailureCallback on_failed) override {
    if (options_.no_capture || !may_capture_) return nullptr;
    std::string why;
    auto capture =
        PcapCapture::start(adapter.adapter_name, std::move(on_frame), std::move(on_failed), why);
    // Said once: the retries while the link is down would repeat it.
    if (!capture && !reported_) {
      reported_ = true;
      error("cannot capture on " + adapter.adapter_name + " (" + why + ")" +
            (options_.passive ? "" : "; probing only"));
    }
    return capture;
  }
  std::uint64_t now_ms() override { return ::now_ms(); }
  void list_cleared() override {
    if (list_) list_->clear();
  }
  void capture_lost(const NetworkAdapter& adapter) override {
    error("capture lost on " + adapter.adapter_name + "; resuming when the link is back");
  }
  void capture_resumed(const NetworkAdapter& adapter) override {
    error("capture resumed on " + adapter.adapter_name);
  }

 private:
  const Options& options_;
  NetworkAdapter adapter_;
  bool may_capture_;
  bool reported_ = false;
  DiscoverySession* session_ = nullptr;
  ListModel* list_ = nullptr;
};

std::size_t terminal_width() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const long n = std::strtol(columns, nullptr, 10);
    if (n > 0) return static_cast<std::size_t>(n);
  }
  return 0;
}

enum class Written { kOk, kClosed, kFailed };

// A reader that went away (head, a closed pager) ends the run quietly.
Written write_all(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return Written::kOk;
  }
  return errno == EPIPE ? Written::kClosed : Written::kFailed;
}

int written_status(Written written) {
  if (written != Written::kFailed) return kExitOk;
  error(std::string("cannot write the output: ") + std::strerror(errno));
  return kExitFailed;
}

// Vendor names: --vendors FILE when given (it must load), else the database
// beside the program, else the installed one.
bool load_vendors(const Options& options, VendorTable& vendors) {
  return tool::load_vendors(vendors, options.vendors.empty() ? nullptr : &options.vendors, error);
}

int list_interfaces() {
  std::string out;
  for (const NetworkAdapter& a : list_adapters()) {
    out += a.adapter_name + "\t" + mac_text(a.mac.data()) + "\t" + ipv4_text(a.ipv4) + "\t" +
           (a.connected ? "up" : "down") + "\t" + interface_label(a) + "\n";
  }
  return written_status(write_all(out));
}

// The adapter to scan, or a message, and the exit status, and nothing.
std::optional<NetworkAdapter> choose_adapter(const Options& options, int& status) {
  const std::vector<NetworkAdapter> adapters = list_adapters();
  status = kExitFailed;
  if (options.interface.empty()) {
    // The first that is up with an address to probe from (listening needs
    // none).
    for (const NetworkAdapter& a : adapters) {
      if (a.connected && (a.ipv4 != 0 || options.passive)) return a;
    }
    error(std::string("no Ethernet or Wi-Fi adapter is up") +
          (options.passive ? "" : " with an IPv4 address") + " (see --list-interfaces)");
    return std::nullopt;
  }
  for (const NetworkAdapter& a : adapters) {
    if (a.adapter_name != options.interface) continue;
    if (!a.connected) {
      error("interface " + a.adapter_name + " is down");
      return std::nullopt;
    }
    if (a.ipv4 == 0 && !options.passive) {
      error("interface " + a.adapter_name +
            " has no IPv4 address to probe from (--passive only listens)");
      return std::nullopt;
    }
    return a;
  }
  error("unknown interface '" + options.interface +
        "' (not an Ethernet or Wi-Fi adapter; see --list-interfaces)");
  status = kExitUsage;
  return std::nullopt;
}

int scan(const Options& options) {
  int status = kExitOk;
  std::optional<NetworkAdapter> adapter = choose_adapter(options, status);
  if (!adapter) return status;
  VendorTable vendors;
  if (!load_vendors(options, vendors)) return kExitUsage;

  const bool may_capture = !options.no_capture && has_capture_rights();
  if (!options.no_capture && !may_capture) {
    if (options.passive) {
      error("--passive listens only, and capturing needs root or CAP_NET_RAW: " + setcap_advice());
      return kExitFailed;
    }
    error("no capture rights: probing only; to capture as well: " + setcap_advice());
  }

  limit_receive_buffer(options.receive_buffer);
  ScanHost host(options, *adapter, may_capture);
  ProbeEngine engine(system_sockets(), open_raw_sender);
  SilentProbeEngine silent;
  ProbeEngineInterface& probes =
      options.passive ? static_cast<ProbeEngineInterface&>(silent) : engine;
  DiscoverySession session(host, vendors, probes, {.resume_lost_capture = true});
  DeviceTable& table = session.table();
  CaptureControl& control = session.capture();
  // An address outside the subnet, a differing mask and a conflict with our
  // own address are told against the scanned adapter's network.
  table.set_local_network(local_network_of(*adapter));
  ListModel list(table);
  table.set_presenter(&list);
  host.attach(&session, &list);
  struct Detach {
    DeviceTable& table;
    ~Detach() { table.set_presenter(nullptr); }
  } detach{table};

  const bool terminal = isatty(STDOUT_FILENO);
  const std::string format =
      !options.format.empty() ? options.format : (terminal ? "table" : "jsonl");
  const bool table_output = format == "table";
  const tool::ColourMode colour =
      table_output ? tool::colour_mode(terminal, std::getenv("NO_COLOR"), std::getenv("COLORTERM"))
                   : tool::ColourMode::kNone;
  const bool redraw = options.watch && table_output && terminal;
  const bool stream = options.watch && format == "jsonl";
  const auto draw = [&](bool clear_screen) {
    std::vector<std::u16string> messages = {control.capture_status()};
    if (!options.passive) messages.push_back(control.search_status());
    const std::string line = status_line(table, control.traffic().packet_count.load(),
                                         control.traffic().byte_count.load(), messages, english());
    std::string out = clear_screen ? "\x1b[H\x1b[2J" : "";
    out += render_table(table.rows(), list.shown_rows(), line,
                        {terminal_width(), colour != tool::ColourMode::kNone,
                         colour == tool::ColourMode::kTrueColour, english()});
    if (const SwitchNeighbour* port = session.switch_port().current()) {
      out += english() ? switch_port_text_en(*port) : utf16_to_utf8(switch_port_text(*port));
      out += '\n';
    }
    return write_all(out);
  };
  tool::DeviceEvents events;
  const auto emit_events = [&] {
    std::string out;
    events.update(table, list.shown_rows(), tool::iso8601_utc(unix_ms()), out);
    return out.empty() ? Written::kOk : write_all(out);
  };

  tool::RunOutcome outcome;
  outcome.probing = !options.passive;
  const auto follow = [&] {
    outcome.captured |= control.running() && !control.udp_only();
    outcome.sent |= control.probe_engine_open() && control.search_status().empty();
  };

  const std::uint64_t started = now_ms();
  // --watch runs until Ctrl+C, or for --seconds when given.
  const bool timed = !options.watch || options.seconds_given;
  const std::uint64_t deadline = started + static_cast<std::uint64_t>(options.seconds * 1000);
  const auto interval_ms = static_cast<std::uint64_t>(options.interval * 1000);
  session.start();
  if (!control.running()) {
    // The reason of a failed capture was said as it failed.
    error(options.passive ? "nothing to listen with on " + adapter->adapter_name
                          : "cannot open a socket or capture on " + adapter->adapter_name);
    return kExitFailed;
  }
  follow();
  // Probing alone, answers wait in the sockets' buffers between two reads;
  // a buffer the kernel kept small loses a large site's burst.
  bool buffer_told = false;
  const auto tell_buffer = [&] {
    const std::uint32_t kept = receive_buffer_shortfall();
    if (buffer_told || kept == 0 || !control.probing_alone()) return;
    buffer_told = true;
    error("the kernel keeps socket receive buffers to " + std::to_string(kept / 1024) +
          " KiB of the " + std::to_string(kSocketReceiveBuffer / 1024) +
          " KiB asked; answers of a large site may be lost while probing alone; to raise "
          "the limit: sudo sysctl -w net.core.rmem_max=" +
          std::to_string(kSocketReceiveBuffer));
  };
  tell_buffer();
  std::uint64_t next_tick = started + kSessionTickMs;
  std::uint64_t next_search = interval_ms == 0 ? 0 : started + interval_ms;
  Written written = Written::kOk;
  while (!interrupted.load() && written == Written::kOk) {
    const std::uint64_t now = now_ms();
    if (timed && now >= deadline) break;
    if (now < next_tick) {
      // Probing alone, a search's answers are read every 20 ms: hundreds
      // arrive at once on a large site and must not wait in the socket's
      // buffer for the tick.
      std::uint64_t wait = next_tick - now;
      if (session.answers_due()) {
        session.poll_answers();
        wait = std::min<std::uint64_t>(wait, kSessionAnswerMs);
      }
      if (timed) wait = std::min<std::uint64_t>(wait, deadline - now);
      ::poll(nullptr, 0, static_cast<int>(wait));
      continue;
    }
    // A late tick (the machine was suspended) does not run the ones missed.
    next_tick = std::max(next_tick + kSessionTickMs, now);
    session.tick();
    if (next_search != 0 && now >= next_search) {
      next_search = std::max(next_search + interval_ms, now);
      session.search_again();
    }
    follow();
    tell_buffer();
    if (session.take_queue() != 0) session.merge_taken();
    if (redraw) written = draw(true);
    if (stream) written = emit_events();
  }
  follow();
  // A back-end that failed during the run leaves the control probing alone.
  const bool captured_at_end = control.running() && !control.udp_only();
  session.stop();
  if (session.take_queue() != 0) session.merge_taken();
  const double elapsed = static_cast<double>(now_ms() - started) / 1000.0;

  if (written == Written::kOk) {
    if (stream) {
      written = emit_events();
    } else if (format == "csv") {
      written = write_all(csv_text(table, list.shown_rows()));
    } else if (format == "jsonl") {
      std::string out;
      for (const std::size_t row : list.shown_rows()) tool::append_device_line(out, table.row(row));
      written = write_all(out);
    } else {
      written = draw(redraw);
    }
  }
  if (written == Written::kClosed) return kExitOk;
  // The summary a script reads from standard error, as arp-scan ends.
  char summary[256];
  std::snprintf(summary, sizeof(summary),
                "%zu devices on %s in %.1f s; %llu packets, %llu bytes captured%s",
                list.item_count(), adapter->adapter_name.c_str(), elapsed,
                static_cast<unsigned long long>(control.traffic().packet_count.load()),
                static_cast<unsigned long long>(control.traffic().byte_count.load()),
                captured_at_end ? "" : (options.passive ? " (capture ended)" : " (probes only)"));
  if (!table_output || !terminal) error(summary);
  if (written == Written::kFailed) return written_status(written);
  std::string reason;
  status = exit_status(outcome, reason);
  if (status != kExitOk) {
    error(reason + " on " + adapter->adapter_name);
  } else if (outcome.probing && !outcome.sent) {
    error("no probe could be sent on " + adapter->adapter_name + "; capture only");
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Lists the devices on the segment of one Ethernet or Wi-Fi adapter: it sends Norvane's "
      "discovery requests (SADP, DHIP, MNDP, Ubiquiti, WS-Discovery, SSDP and the raw SADP "
      "inquiry) and captures the segment's discovery traffic (also mDNS, LLMNR, LLDP, CDP and "
      "ARP) for a few seconds.",
      kProgram};
  Options options;
  app.add_option("-i,--interface", options.interface,
                 "adapter to scan (default: the first in --list-interfaces that is up with an "
                 "IPv4 address)");
  auto* seconds = app.add_option("--seconds", options.seconds,
                                 "how long to scan (default 5; with --watch: until Ctrl+C)")
                      ->check(CLI::Range(0.2, 86400.0));
  app.add_flag("--watch", options.watch,
               "keep scanning: redraw the table every 200 ms, or with --format jsonl write one "
               "line per device that appears, changes or leaves");
  app.add_option("--interval", options.interval, "search again every S seconds")
      ->check(CLI::Range(1.0, 86400.0));
  app.add_option("--receive-buffer", options.receive_buffer,
                 "hold each probe socket's receive buffer to at most BYTES, as a stricter "
                 "kernel would (default: the 1 MiB asked)")
      ->check(CLI::Range(4096u, kSocketReceiveBuffer));
  app.add_option("--format", options.format,
                 "table (default on a terminal), jsonl (default otherwise) or csv")
      ->check(CLI::IsMember({"table", "jsonl", "csv"}));
  auto* passive = app.add_flag("--passive", options.passive, "send nothing; capture only");
  app.add_flag("--no-capture", options.no_capture, "probe only; do not capture")->excludes(passive);
  app.add_option("--vendors", options.vendors,
                 std::string("MAC vendor database (mac-vendors.tsv format); default: beside the "
                             "program, else ../") +
                     tool::kInstalledVendorDb + " from there");
  app.add_flag("--list-interfaces", options.list_interfaces,
               "print the adapters that can be scanned, in order, and exit");
  app.set_version_flag("--version", std::string(kProgram) + " " + NORVANE_VERSION);
  app.footer(
      "Exit status: 0 the scan ran (also when ended by Ctrl+C or a closed pipe); 1 nothing "
      "could be done (no adapter up, a down interface, no capture with --passive, no probe "
      "sent and nothing captured, an output error); 2 bad usage (an unknown interface, an "
      "unloadable --vendors file).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  options.seconds_given = seconds->count() != 0;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  try {
    if (options.list_interfaces) return list_interfaces();
    return scan(options);
  } catch (const std::exception& e) {
    error(std::string("failed: ") + e.what());
    return kExitFailed;
  }
}
