// norvane-scan: the discovery engine of Norvane on one Linux adapter. It
// probes and captures for a few seconds (or until Ctrl+C with --watch) and
// prints the device list: a table on a terminal, JSON Lines or CSV otherwise.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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
#include "terminal_table.h"
#include "tool_vendors.h"
#include "vendors/vendor_table.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0"
#endif

namespace {

using namespace norvane;
using tool::render_table;
using tool::status_line;

constexpr const char* kProgram = "norvane-scan";
constexpr int kExitOk = 0;
constexpr int kExitError = 2;
constexpr std::uint64_t kTickMs = 200;

std::atomic<bool> interrupted{false};

void on_signal(int) { interrupted.store(true); }

void error(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

std::uint64_t now_ms() { return system_sockets().now_ms(); }

std::string ipv4_text(std::uint32_t network) {
  return network == 0 ? std::string("-")
                      : format_ipv4(reinterpret_cast<const std::uint8_t*>(&network));
}

struct Options {
  std::string interface;
  double seconds = 5;
  bool watch = false;
  std::string format;  // empty: table on a terminal, jsonl otherwise
  bool passive = false;
  bool no_capture = false;
  std::string vendors;
  bool list_interfaces = false;
};

// The capture control's host: the one adapter, libpcap for capture, the
// device table for what probes bring back.
class ScanHost final : public CaptureHost {
 public:
  ScanHost(const Options& options, NetworkAdapter adapter, DeviceTable& table, ListModel& list,
           bool may_capture)
      : options_(options),
        adapter_(std::move(adapter)),
        table_(table),
        list_(list),
        may_capture_(may_capture) {}

  void set_control(CaptureControl* control) { control_ = control; }

  std::optional<NetworkAdapter> selected_adapter() override {
    refresh_adapter(adapter_, list_adapters());
    // A lease renewed during --watch may move the adapter to another network.
    table_.set_local_network(local_network_of(adapter_));
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
    if (!capture && !reported_) {
      reported_ = true;
      error("cannot capture on " + adapter.adapter_name + " (" + why + ")" +
            (options_.passive ? "" : "; probing only"));
    }
    return capture;
  }
  void on_probe_reply(const DiscoveryReply& reply) override {
    if (!control_) return;
    PacketSummary summary;
    if (!summary_from_reply(reply, control_->traffic(), summary)) return;
    if (decode_datagram(summary) && keep_reply(reply, summary, table_.local_network())) {
      table_.merge(summary);
    }
  }
  void clear_device_list() override {
    table_.clear();
    list_.clear();
    switch_port_.clear();
  }
  SwitchPortTracker& switch_port() noexcept { return switch_port_; }
  void refresh_status() override {}
  std::uint64_t now_ms() override { return ::now_ms(); }

 private:
  const Options& options_;
  NetworkAdapter adapter_;
  DeviceTable& table_;
  ListModel& list_;
  CaptureControl* control_ = nullptr;
  bool may_capture_;
  bool reported_ = false;
  SwitchPortTracker switch_port_;  // the switch at the other end of the cable
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

bool colour_wanted() {
  const char* no_color = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) && (no_color == nullptr || no_color[0] == '\0');
}

bool write_all(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
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
           (a.connected ? "up" : "down") + "\t" + utf16_to_utf8(adapter_label(a)) + "\n";
  }
  return write_all(out) ? kExitOk : kExitError;
}

// The adapter to scan, or a message and nothing.
std::optional<NetworkAdapter> choose_adapter(const Options& options) {
  const std::vector<NetworkAdapter> adapters = list_adapters();
  if (options.interface.empty()) {
    if (adapters.empty()) {
      error("no Ethernet or Wi-Fi adapter found (see --list-interfaces)");
      return std::nullopt;
    }
    return adapters.front();
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
  return std::nullopt;
}

int scan(const Options& options) {
  std::optional<NetworkAdapter> adapter = choose_adapter(options);
  if (!adapter) return kExitError;
  if (options.interface.empty() && adapter->ipv4 == 0 && !options.passive) {
    error("interface " + adapter->adapter_name + " has no IPv4 address to probe from");
    return kExitError;
  }
  VendorTable vendors;
  if (!load_vendors(options, vendors)) return kExitError;

  const bool may_capture = !options.no_capture && has_capture_rights();
  if (!options.no_capture && !may_capture) {
    if (options.passive) {
      error(
          "--passive listens only, and capturing needs root or CAP_NET_RAW: sudo setcap "
          "cap_net_raw,cap_net_admin=eip " +
          std::string(std::filesystem::read_symlink("/proc/self/exe").string()));
      return kExitError;
    }
    error(
        "no capture rights: probing only; to capture as well: sudo setcap "
        "cap_net_raw,cap_net_admin=eip " +
        std::string(std::filesystem::read_symlink("/proc/self/exe").string()));
  }

  DeviceTable table(vendors);
  // An address outside the subnet, a differing mask and a conflict with our
  // own address are told against the scanned adapter's network.
  table.set_local_network(local_network_of(*adapter));
  ListModel list(table);
  table.set_presenter(&list);
  ScanHost host(options, *adapter, table, list, may_capture);
  ProbeEngine engine(system_sockets(), open_raw_sender);
  SilentProbeEngine silent;
  ProbeEngineInterface& probes =
      options.passive ? static_cast<ProbeEngineInterface&>(silent) : engine;
  CaptureControl control(host, probes);
  host.set_control(&control);

  const std::string format =
      !options.format.empty() ? options.format : (isatty(STDOUT_FILENO) ? "table" : "jsonl");
  const bool table_output = format == "table";
  const bool colour = table_output && colour_wanted();
  const bool redraw = options.watch && table_output && isatty(STDOUT_FILENO);
  const auto draw = [&](bool clear_screen) {
    std::vector<std::u16string> messages = {control.capture_status()};
    if (!options.passive) messages.push_back(control.search_status());
    const std::string status = status_line(table, control.traffic().packet_count.load(),
                                           control.traffic().byte_count.load(), messages);
    std::string out = clear_screen ? "\x1b[H\x1b[2J" : "";
    out += render_table(table.rows(), list.shown_rows(), status, {terminal_width(), colour});
    if (const SwitchNeighbour* port = host.switch_port().current()) {
      out += utf16_to_utf8(switch_port_text(*port)) + "\n";
    }
    return write_all(out);
  };

  const std::uint64_t started = now_ms();
  const std::uint64_t deadline = started + static_cast<std::uint64_t>(options.seconds * 1000);
  control.start_capture();
  if (!control.running() && control.retry_at() == 0) {
    error("cannot start discovery on " + adapter->adapter_name);
    return kExitError;
  }
  // The drained queue's storage goes back to the queue at the next take.
  std::vector<PacketSummary> batch;
  const auto drain = [&] {
    control.take_queue(batch, table.arp_room());
    const std::uint64_t now = now_ms();
    for (const PacketSummary& s : batch) {
      host.switch_port().observe(s, now);
      table.merge(s);
    }
    batch.clear();
  };
  std::uint64_t next_tick = started + kTickMs;
  while (!interrupted.load()) {
    const std::uint64_t now = now_ms();
    if (!options.watch && now >= deadline) break;
    if (now < next_tick) {
      ::poll(nullptr, 0, static_cast<int>(next_tick - now));
      continue;
    }
    next_tick += kTickMs;
    control.tick();
    drain();
    if (redraw && !draw(true)) break;
  }
  // A back-end that failed during the run leaves the control probing alone.
  const bool captured = control.running() && !control.udp_only();
  control.stop_capture();
  drain();
  const double elapsed = static_cast<double>(now_ms() - started) / 1000.0;

  bool written = true;
  if (format == "csv") {
    written = write_all(table_csv(table.rows(), list.shown_rows(), u','));
  } else if (format == "jsonl") {
    std::string out;
    for (const std::size_t row : list.shown_rows()) tool::append_device_line(out, table.row(row));
    written = write_all(out);
  } else {
    written = draw(redraw);
  }
  // The summary a script reads from standard error, as arp-scan ends.
  char summary[256];
  std::snprintf(summary, sizeof(summary),
                "%zu devices on %s in %.1f s; %llu packets, %llu bytes captured%s",
                list.item_count(), adapter->adapter_name.c_str(), elapsed,
                static_cast<unsigned long long>(control.traffic().packet_count.load()),
                static_cast<unsigned long long>(control.traffic().byte_count.load()),
                captured ? "" : " (probes only)");
  if (!table_output || !isatty(STDOUT_FILENO)) error(summary);
  if (!written) {
    error(std::string("cannot write the output: ") + std::strerror(errno));
    return kExitError;
  }
  return kExitOk;
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
                 "adapter to scan (default: the first in --list-interfaces)");
  app.add_option("--seconds", options.seconds, "how long to scan (default 5)")
      ->check(CLI::Range(0.2, 86400.0));
  app.add_flag("--watch", options.watch, "redraw the list every 200 ms until Ctrl+C");
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
      "Exit status: 0 success (also after Ctrl+C, with what was found); 2 bad usage, an unknown "
      "or down interface, no IPv4 address while probing, an unloadable --vendors file or an "
      "output error.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitError;
  }
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
    return kExitError;
  }
}
