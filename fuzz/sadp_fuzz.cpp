// SADP replies: the input after its first byte is both the payload of an
// EtherType 0x8033 frame and the UDP payload of a datagram on port 37020.
// First byte: bit 0 makes the frame's source MAC the one inside the message
// (so the decoder gets past its sender check), bit 1 marks the datagram as a
// first fragment.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/address.h"
#include "decode/sadp.h"
#include "summary_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string camera = "44:19:B6:12:34:56";

  norvane::PacketSummary frame;
  frame.source_mac = camera;
  if ((flags & 1) && bytes.size() >= 20 &&
      norvane::is_unicast_mac(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 14)) {
    frame.source_mac = norvane::mac_text(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 14);
  }
  frame.mac = frame.source_mac;
  frame.protocol = "SADP";
  frame.multicast = true;
  frame.ether_type = 0x8033;
  frame.l2_payload = bytes;
  const norvane::PacketSummary frame_before = frame;
  norvane::fuzz::check_decode(norvane::decode_sadp_frame(frame), frame_before, frame, "SADP L2");

  norvane::PacketSummary datagram;
  datagram.ip = "192.168.1.200";
  datagram.mac = camera;
  datagram.source_mac = camera;
  datagram.name = "before";
  datagram.protocol = "IPv4";
  datagram.partial = (flags & 2) != 0;
  datagram.source_port = 37020;
  datagram.dest_port = 37020;
  datagram.payload = bytes;
  const norvane::PacketSummary datagram_before = datagram;
  norvane::fuzz::check_decode(norvane::decode_sadp_xml(datagram), datagram_before, datagram,
                              "SADP");
  return 0;
}
