// A minimal reader of classic pcap files (not pcapng) in either byte order,
// with microsecond or nanosecond time stamps, for tests that replay real
// captures. Malformed files give nullopt; a truncated last record ends the
// list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace norvane::test {

struct PcapFrame {
  std::vector<std::uint8_t> data;     // the captured bytes
  std::uint32_t original_length = 0;  // length on the wire
};

struct PcapFile {
  std::uint32_t link_type = 0;  // 1 = Ethernet
  std::uint32_t snap_length = 0;
  std::vector<PcapFrame> frames;
};

inline std::optional<PcapFile> parse_pcap(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 24) return std::nullopt;
  auto le32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
  };
  auto be32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 |
           static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 3]);
  };
  bool little = false;
  const std::uint32_t magic = le32(0);
  if (magic == 0xA1B2C3D4u || magic == 0xA1B23C4Du) {
    little = true;
  } else if (be32(0) == 0xA1B2C3D4u || be32(0) == 0xA1B23C4Du) {
    little = false;
  } else {
    return std::nullopt;
  }
  auto u32 = [&](std::size_t at) { return little ? le32(at) : be32(at); };
  PcapFile file;
  file.snap_length = u32(16);
  // The upper bits may carry FCS information; the link type is the low 16.
  file.link_type = u32(20) & 0xFFFFu;
  std::size_t at = 24;
  while (bytes.size() - at >= 16) {
    const std::uint32_t captured = u32(at + 8);
    const std::uint32_t original = u32(at + 12);
    at += 16;
    if (captured > bytes.size() - at) break;
    PcapFrame frame;
    frame.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + captured));
    frame.original_length = original;
    file.frames.push_back(std::move(frame));
    at += captured;
  }
  return file;
}

inline std::optional<PcapFile> read_pcap(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
  return parse_pcap(bytes);
}

}  // namespace norvane::test
