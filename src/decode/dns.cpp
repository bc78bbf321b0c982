// mDNS and LLMNR responses. Both are DNS messages; a responder's answer
// reveals its host name (the owner of an address record for the sender's own
// address) and the services it offers (service-type PTR records), and an mDNS
// responder's goodbye tells that it leaves.
#include "decode/dns.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "base/address.h"
#include "decode/byte_reader.h"
#include "decode/scan.h"

namespace norvane {
namespace {

constexpr std::size_t kHeaderSize = 12;
// Labels and pointers together. With pointers that may only go backwards a
// chain cannot loop through pointers alone, but labels read after a jump may
// walk forward again onto the same pointer; this bound and the length bound
// end every such walk.
constexpr int kNameSteps = 128;
constexpr std::size_t kNameTextLimit = 254;
// Smallest question: the root name (1 byte), type and class. Smallest record:
// the root name, type, class, TTL and RDLENGTH.
constexpr std::size_t kMinQuestionSize = 5;
constexpr std::size_t kMinRecordSize = 11;

constexpr std::uint16_t kTypeA = 1;
constexpr std::uint16_t kTypePtr = 12;
constexpr std::uint16_t kTypeAaaa = 28;
constexpr std::uint16_t kClassIn = 1;
// mDNS uses the top bit of the class as its cache-flush flag.
constexpr std::uint16_t kClassMask = 0x7FFF;

// A name as text, kept on the stack: the limit check above bounds it at the
// limit plus one separating dot.
struct NameText {
  std::array<char, kNameTextLimit + 1> data{};
  std::size_t size = 0;
  std::string_view view() const noexcept { return {data.data(), size}; }
};

bool read_name(std::string_view message, std::size_t& position, NameText& name) noexcept {
  name.size = 0;
  std::size_t offset = position;
  std::size_t resume = 0;
  bool jumped = false;
  for (int steps = 0;;) {
    if (offset >= message.size()) return false;
    const auto b = static_cast<std::uint8_t>(message[offset]);
    if (b == 0) {
      position = jumped ? resume : offset + 1;
      return true;
    }
    if (++steps > kNameSteps) return false;
    if (b >= 0xC0) {
      if (message.size() - offset < 2) return false;
      const std::size_t target = (static_cast<std::size_t>(b & 0x3F) << 8) |
                                 static_cast<std::uint8_t>(message[offset + 1]);
      if (target >= offset) return false;
      if (!jumped) {
        resume = offset + 2;
        jumped = true;
      }
      offset = target;
      continue;
    }
    if (b >= 0x40) return false;  // extended and reserved label types
    const std::size_t length = b;
    if (message.size() - offset - 1 < length) return false;
    if (name.size + length > kNameTextLimit) return false;
    if (name.size != 0) name.data[name.size++] = '.';
    message.copy(name.data.data() + name.size, length, offset + 1);
    name.size += length;
    offset += 1 + length;
  }
}

bool is_service_type(std::string_view owner) noexcept {
  return owner.starts_with('_') && (owner.find("._tcp.") != std::string_view::npos ||
                                    owner.find("._udp.") != std::string_view::npos);
}

// The sender's own address as bytes, to find its address records without
// building a text per record. Empty (length 0) when the sender is unknown.
struct SenderAddress {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t length = 0;
};

SenderAddress sender_address(const std::string& ip) noexcept {
  SenderAddress a;
  if (ip.find(':') != std::string::npos) {
    if (parse_ipv6(ip, a.bytes.data())) a.length = 16;
  } else if (parse_ipv4(ip, a.bytes.data())) {
    a.length = 4;
  }
  return a;
}

// True when the record's address text is the summary's address text. The byte
// comparison is only a quick filter; the text comparison decides, so the
// address rules (which blank loopback, multicast and unspecified addresses)
// apply, and an unknown sender address matches nothing.
bool matches_sender(std::string_view rdata, const SenderAddress& sender, const std::string& ip) {
  if (sender.length == 0 || rdata.size() != sender.length) return false;
  if (rdata.compare(0, rdata.size(),
                    std::string_view(reinterpret_cast<const char*>(sender.bytes.data()),
                                     sender.length)) != 0) {
    return false;
  }
  const std::string text =
      ip_text(reinterpret_cast<const std::uint8_t*>(rdata.data()), rdata.size());
  return !text.empty() && text == ip;
}

}  // namespace

bool read_dns_name(std::string_view message, std::size_t& position, std::string& name) {
  name.clear();
  NameText text;
  if (!read_name(message, position, text)) return false;
  name.assign(text.view());
  return true;
}

bool decode_dns_response(PacketSummary& summary, std::string_view protocol) {
  const std::string_view message = summary.payload;
  ByteReader header(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
  header.skip(2);  // identifier
  const std::uint8_t flags_high = header.u8();
  const std::uint8_t flags_low = header.u8();
  const std::uint32_t questions = header.be16();
  const std::uint32_t records =
      std::uint32_t{header.be16()} + std::uint32_t{header.be16()} + std::uint32_t{header.be16()};
  if (!header.ok()) return false;
  if ((flags_high & 0x80) == 0 || (flags_low & 0x0F) != 0) return false;
  if (records == 0) return false;
  // Counts that cannot fit the message are rejected before any work is done.
  if (questions > message.size() / kMinQuestionSize) return false;
  if (records > message.size() / kMinRecordSize) return false;

  const SenderAddress sender = sender_address(summary.ip);
  std::size_t position = kHeaderSize;
  NameText owner;
  for (std::uint32_t i = 0; i < questions; ++i) {
    if (!read_name(message, position, owner)) return false;
    if (message.size() - position < 4) return false;
    position += 4;  // type and class
  }

  NameText host;
  NameText service;
  std::uint32_t goodbyes = 0;
  for (std::uint32_t i = 0; i < records; ++i) {
    if (!read_name(message, position, owner)) return false;
    ByteReader rr(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    rr.skip(position);
    const std::uint16_t type = rr.be16();
    const std::uint16_t rclass = rr.be16();
    const std::uint32_t ttl = rr.be32();
    const std::uint16_t rdlength = rr.be16();
    const std::string_view rdata = as_text(rr.bytes(rdlength));
    if (!rr.ok()) return false;
    position = rr.offset();

    // Goodbye records (TTL 0) say the name or service is going away.
    if ((rclass & kClassMask) != kClassIn) continue;
    if (ttl == 0) {
      ++goodbyes;
      continue;
    }
    if ((type == kTypeA && rdlength == 4) || (type == kTypeAaaa && rdlength == 16)) {
      if (matches_sender(rdata, sender, summary.ip)) host = owner;
    } else if (type == kTypePtr && service.size == 0 && is_service_type(owner.view())) {
      service = owner;
    }
  }

  // A responder leaving the network withdraws everything it announced at
  // once: a message of nothing but goodbyes. One that mixes them with live
  // records only retires some of its names. LLMNR has no goodbyes.
  if (goodbyes == records && protocol == proto::kMdns) {
    summary.protocol = protocol;
    summary.departure = true;
    return true;
  }

  std::string name = clean_text(host.view());
  std::string info = clean_text(service.view());
  if (name.empty() && info.empty()) return false;

  summary.protocol = protocol;
  if (!name.empty()) summary.name = std::move(name);
  if (!info.empty()) summary.info = std::move(info);
  return true;
}

}  // namespace norvane
