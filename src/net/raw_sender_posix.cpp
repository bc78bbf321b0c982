// The raw frame sender on Linux: a libpcap handle of its own on the
// interface, as on Windows, with a filter that takes in nothing, so that the
// kernel copies no traffic into a handle that only sends.
#include <pcap/pcap.h>

#include "base/address.h"
#include "net/raw_sender.h"

namespace norvane {

namespace {

constexpr int kSnapshotLength = 64;
constexpr int kReadTimeoutMs = 150;

class PcapRawSender final : public RawFrameSender {
 public:
  PcapRawSender() = default;
  PcapRawSender(const PcapRawSender&) = delete;
  PcapRawSender& operator=(const PcapRawSender&) = delete;
  ~PcapRawSender() override {
    if (handle_) pcap_close(handle_);
  }

  void open(const std::string& device, const MacBytes& mac) {
    // A group or all-zero address cannot be the source of the inquiry.
    if (device.empty() || !is_unicast_mac(mac.data())) return;
    char errors[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_create(device.c_str(), errors);
    if (!handle_) return;
    if (pcap_set_snaplen(handle_, kSnapshotLength) != 0 || pcap_set_promisc(handle_, 0) != 0 ||
        pcap_set_timeout(handle_, kReadTimeoutMs) != 0 || pcap_activate(handle_) < 0 ||
        pcap_datalink(handle_) != DLT_EN10MB || !take_nothing()) {
      pcap_close(handle_);
      handle_ = nullptr;
    }
  }

  bool has_handle() const override { return handle_ != nullptr; }

  bool send_frame(std::span<const std::uint8_t> frame) override {
    if (!handle_ || frame.empty() || frame.size() > 65535) return false;
    return pcap_sendpacket(handle_, frame.data(), static_cast<int>(frame.size())) == 0;
  }

 private:
  // One instruction: accept 0 bytes of every frame.
  bool take_nothing() {
    bpf_insn reject{static_cast<unsigned short>(BPF_RET | BPF_K), 0, 0, 0};
    bpf_program program{1, &reject};
    return pcap_setfilter(handle_, &program) == 0;
  }

  pcap_t* handle_ = nullptr;
};

}  // namespace

std::unique_ptr<RawFrameSender> open_raw_sender(const std::string& adapter_name,
                                                const MacBytes& mac) {
  auto sender = std::make_unique<PcapRawSender>();
  sender->open(adapter_name, mac);
  return sender;
}

}  // namespace norvane
