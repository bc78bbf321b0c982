// norvane-decode: runs a capture file through the same frame path as the
// live capture (keep rule, decoders, device table) and prints JSON Lines, or
// the device table as the same CSV file that the device list saves.
#include <pcap/pcap.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "app/list_export.h"
#include "decode/frame.h"
#include "json_lines.h"
#include "model/device_table.h"
#include "model/packet_summary.h"
#include "tool_vendors.h"
#include "vendors/vendor_table.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 2;
constexpr const char* kProgram = "norvane-decode";

constexpr std::string_view kHelp =
    R"(Usage: norvane-decode [--devices [--format jsonl|csv]] [--vendors FILE] CAPTURE
       norvane-decode --help

Reads a pcap or pcapng capture of an Ethernet segment (link type EN10MB),
passes every frame through the same keep rule and decoders as Norvane's live
capture, and writes JSON Lines (or, for the device table, CSV) to standard
output. CAPTURE "-" reads standard input.

Without --devices, one object per kept frame (discovery messages, multicast
and broadcast frames, ARP requests and replies):
  {"frame":N,"protocol":"...","ip":"...","mac":"...","source_mac":"...",
   "name":"...","model":"...","info":"..."}
  frame is the 1-based position of the frame in the file. A frame in which
  a device states its settings (SADP, DHIP) carries them as the device rows
  do (see below), and a goodbye (SSDP ssdp:byebye, WS-Discovery Bye, mDNS
  answers whose records all expire now) ends in "departure":true.

With --devices, after the whole file, every kept frame is merged into the
device table and one object per device row is printed, in the device list's
default order (address ascending: IPv4 before IPv6 by address bytes, then
unparsable address texts, then rows without address):
  {"ip":"...","mac":"...","vendor":"...","name":"...","model":"...",
   "protocols":["..."],"info":"...","category":N,"accent":N,"state":[...]}
  protocols: the protocols the device was heard by, in the list's order.
  category: 0 Hikvision, 1 Dahua, 2 Ubiquiti, 3 MikroTik, 4 Espressif,
  5 other; accent: the list's colour index 0 to 6.
  state: what needs a look, as tokens in this order ([] when nothing):
    "not-activated"    the device says it is not activated
    "ip-conflict"      another MAC claims its IPv4 address
    "gateway-outside"  its gateway lies outside its own subnet
    "gone"             it said goodbye and has not spoken since
  ("outside-subnet" and "mask-differs" are told against an adapter's
  network, which a capture file does not have; norvane-scan gives them.)
  A goodbye marks its device "gone"; it is never a row of its own.
  Then, only when the device said them: "activated" (true or false),
  "mask", "gateway" (dotted IPv4 texts), "dhcp" (true or false),
  "http_port" (a number) and "serial". Last, "first_seen" and "last_seen":
  the capture times of the frames that made the row and that last spoke for
  it, in ISO 8601 UTC ("2023-11-14T22:13:20.000Z").

With --devices --format csv, the same rows in the same order as the CSV file
that Norvane's "Zapisz jako CSV..." writes: UTF-8 with a byte order mark, the
list's eight column headers ("Adres IP", "Adres MAC", "VENDOR", "Nazwa",
"Model / opis", "Protok)"
    "\xC3\xB3\xC5\x82"
    R"(", "Informacje", "Stan") as the first record,
the "Stan" cells in the list's words ("nieaktywne", "konflikt IP", ...).
Always comma-separated (the window uses the system's list separator), with
RFC 4180 quoting and CRLF line ends. A cell that starts with "=", "+", "-",
"@", a tab or a carriage return gets a leading apostrophe, so that no
spreadsheet evaluates it as a formula.

Options:
  --devices        print the device table instead of the kept frames
  --format FORMAT  output of --devices: jsonl (the default) or csv
  --vendors FILE   MAC vendor database in the mac-vendors.tsv format; a file
                   that cannot be loaded is an error. Default: mac-vendors.tsv
                   beside this program when it exists, else the installed
                   one (otherwise no vendors)
  -h, --help       print this text

Texts: frame fields carry the bytes the devices sent. Well-formed UTF-8 is
written as it is; quote, backslash, control characters and DEL are escaped.
Each byte that is not part of well-formed UTF-8 is written as \u00XX, XX being
the byte's value, so every line is valid JSON; such an escape stands for that
raw byte, not for the character U+00XX. Device rows are the list's display
texts (invalid UTF-8 already shown as Windows-1252 there).

Exit status:
  0  success; also for a truncated capture, whose complete frames are decoded
     (a warning on standard error says where it stopped)
  2  bad usage, a missing or unreadable capture, a link type other than
     Ethernet, a damaged capture (frames before the damage are printed), a
     vendor database given with --vendors that cannot be loaded, a frame that
     could not be decoded, or an output error
)";

struct PcapCloser {
  void operator()(pcap_t* handle) const noexcept { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

struct Options {
  bool devices = false;
  bool csv = false;
  bool help = false;
  std::string vendors;
  bool vendors_given = false;
  std::string capture;
};

void error(std::string_view message) {
  std::fprintf(stderr, "%s: %.*s\n", kProgram, static_cast<int>(message.size()), message.data());
}

// CLI11 parses; the help text stays this tool's own (it documents the JSON
// escapes), and every usage error exits with 2.
bool parse_options(int argc, char** argv, Options& options) {
  CLI::App app{"", kProgram};
  app.set_help_flag();
  app.add_flag("-h,--help", options.help);
  app.add_flag("--devices", options.devices);
  std::string format = "jsonl";
  app.add_option("--format", format)->check(CLI::IsMember({"jsonl", "csv"}));
  app.add_option("--vendors", options.vendors)
      ->check(CLI::Validator(
          [](std::string& value) {
            return value.empty() ? std::string("--vendors needs a file name") : std::string();
          },
          "FILE"));
  app.add_option("capture", options.capture)->expected(1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return true;
    error(e.what());
    error("see --help");
    return false;
  }
  options.csv = format == "csv";
  options.vendors_given = app.count("--vendors") != 0;
  const bool have_capture = app.count("capture") != 0;
  // CSV has the device list's columns; kept frames have others.
  if (!options.help && options.csv && !options.devices) {
    error("--format csv needs --devices (frames are written as JSON Lines only)");
    return false;
  }
  if (!options.help && !have_capture) {
    error("no capture file given (see --help)");
    return false;
  }
  return true;
}

// Loads the vendor table; frame lines carry no vendor, so without --devices
// only a database named on the command line is read (and must load).
bool load_vendors(const Options& options, norvane::VendorTable& vendors) {
  if (!options.vendors_given && !options.devices) return true;
  return norvane::tool::load_vendors(vendors, options.vendors_given ? &options.vendors : nullptr,
                                     [](const std::string& message) { error(message); });
}

class Output {
 public:
  std::string& buffer() { return buffer_; }
  void maybe_flush() {
    if (buffer_.size() >= kChunk) flush();
  }
  void flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
      failed_ = true;
    }
    buffer_.clear();
  }
  // True when everything reached standard output.
  bool finish() {
    flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) failed_ = true;
    return !failed_;
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  std::string buffer_;
  bool failed_ = false;
};

int run(const Options& options) {
  norvane::VendorTable vendors;
  if (!load_vendors(options, vendors)) return kExitError;

  const std::string shown = options.capture == "-" ? "standard input" : options.capture;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  PcapHandle capture(pcap_open_offline(options.capture.c_str(), errbuf));
  if (!capture) {
    // libpcap names the file itself in some messages; say it once.
    std::string_view reason = errbuf;
    const std::string prefix = options.capture + ": ";
    if (reason.starts_with(prefix)) reason.remove_prefix(prefix.size());
    error("cannot read capture '" + shown + "': " + std::string(reason));
    return kExitError;
  }
  const int link = pcap_datalink(capture.get());
  if (link != DLT_EN10MB) {
    const char* name = pcap_datalink_val_to_name(link);
    error("'" + shown + "' has link type " + (name != nullptr ? name : "unknown") + " (" +
          std::to_string(link) + "); only Ethernet (EN10MB) captures can be decoded");
    return kExitError;
  }

  norvane::DeviceTable table(vendors);
  Output out;
  std::uint64_t frame = 0;
  std::uint64_t failed_frames = 0;
  pcap_pkthdr* header = nullptr;
  const u_char* data = nullptr;
  int rc = 0;
  while ((rc = pcap_next_ex(capture.get(), &header, &data)) == 1) {
    ++frame;
    norvane::PacketSummary summary;
    try {
      if (!norvane::summarize_frame(data, header->caplen, summary)) continue;
      if (options.devices) {
        // A device's first and last times are its frames' capture times.
        table.set_merge_time(static_cast<std::int64_t>(header->ts.tv_sec) * 1000 +
                             static_cast<std::int64_t>(header->ts.tv_usec) / 1000);
        table.merge(summary);
      } else {
        norvane::tool::append_frame_line(out.buffer(), frame, summary);
        out.maybe_flush();
      }
    } catch (const std::exception& e) {
      ++failed_frames;
      error("frame " + std::to_string(frame) + " could not be decoded: " + e.what());
    }
  }

  int status = kExitOk;
  if (rc == PCAP_ERROR) {
    // libpcap reads with stdio: a record cut by the end of the file leaves the
    // stream at end-of-file, any other failure (a record length no writer
    // produces, a second link type in a pcapng file) does not.
    std::FILE* file = pcap_file(capture.get());
    const bool truncated = file != nullptr && std::feof(file) != 0;
    const std::string reason = pcap_geterr(capture.get());
    if (truncated) {
      error("warning: '" + shown + "' is truncated after frame " + std::to_string(frame) + " (" +
            reason + "); the frames before it were decoded");
    } else {
      error("'" + shown + "' is damaged after frame " + std::to_string(frame) + " (" + reason +
            "); the frames before it were decoded");
      status = kExitError;
    }
  }

  if (options.devices && options.csv) {
    out.buffer() += norvane::table_csv(table.rows(), norvane::tool::device_order(table), u',');
  } else if (options.devices) {
    for (const std::size_t index : norvane::tool::device_order(table)) {
      norvane::tool::append_device_line(out.buffer(), table.row(index));
      out.maybe_flush();
    }
  }
  if (!out.finish()) {
    error(std::string("cannot write the output: ") + std::strerror(errno));
    return kExitError;
  }
  if (failed_frames != 0) status = kExitError;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) return kExitError;
  if (options.help) {
    std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitError;
  }
  try {
    return run(options);
  } catch (const std::exception& e) {
    error(std::string("failed: ") + e.what());
    return kExitError;
  }
}
