// The raw frame sender over Npcap's capture library: a handle of its own on
// the adapter, independent of any capture back-end.
#include <windows.h>

#include "base/address.h"
#include "net/dll_win.h"
#include "net/raw_sender.h"

namespace norvane {

namespace {

constexpr int kSnapshotLength = 64;
constexpr int kReadTimeoutMs = 150;

class WpcapRawSender final : public RawFrameSender {
 public:
  WpcapRawSender() = default;
  WpcapRawSender(const WpcapRawSender&) = delete;
  WpcapRawSender& operator=(const WpcapRawSender&) = delete;

  ~WpcapRawSender() override {
    if (capture_) pcap_.pcap_close(capture_);
    capture_ = nullptr;
    library_.reset();
  }

  void open(const std::string& adapter_name, const MacBytes& mac) {
    // A group or all-zero address cannot be the source of the inquiry.
    if (adapter_name.empty() || !is_unicast_mac(mac.data())) return;

    const std::wstring system = dll::system_directory();
    if (!system.empty()) {
      const std::wstring npcap = system + L"\\Npcap\\wpcap.dll";
      library_.reset(LoadLibraryExW(npcap.c_str(), nullptr, dll::kLoadSearchDllDirAndSystem32));
    }
    if (!library_) library_.reset(LoadLibraryExW(L"wpcap.dll", nullptr, dll::kLoadSearchSystem32));
    if (!library_) return;

    pcap_.bind(library_.get());
    if (!pcap_.pcap_open_live || !pcap_.pcap_datalink || !pcap_.pcap_close ||
        !pcap_.pcap_sendpacket) {
      return;  // the library stays loaded until the sender goes
    }
    char errors[dll::kPcapErrorBufferSize] = {};
    const std::string device = dll::kNpcapDevicePrefix + adapter_name;
    capture_ = pcap_.pcap_open_live(device.c_str(), kSnapshotLength, 0, kReadTimeoutMs, errors);
    if (capture_ && pcap_.pcap_datalink(capture_) != dll::kDltEthernet) {
      pcap_.pcap_close(capture_);
      capture_ = nullptr;
    }
  }

  bool has_handle() const override { return capture_ != nullptr; }

  bool send_frame(std::span<const std::uint8_t> frame) override {
    if (!capture_ || frame.empty() || frame.size() > 65535) return false;
    return pcap_.pcap_sendpacket(capture_, frame.data(), static_cast<int>(frame.size())) == 0;
  }

 private:
  dll::Library library_;
  dll::PcapHandle* capture_ = nullptr;
  dll::WpcapFunctions pcap_;
};

}  // namespace

std::unique_ptr<RawFrameSender> open_raw_sender(const std::string& adapter_name,
                                                const MacBytes& mac) {
  auto sender = std::make_unique<WpcapRawSender>();
  sender->open(adapter_name, mac);
  return sender;
}

}  // namespace norvane
