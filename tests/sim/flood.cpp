// norvane-flood: the loads a job site puts on a segment, for the lab tests
// that must list every device through them (Linux only; needs CAP_NET_RAW).
//
//   norvane-flood IFACE storm SECONDS RESULT
//       a broadcast storm as a cabling loop makes one: the same minimum
//       (60-byte) ARP request from one source, as fast as the link takes it;
//   norvane-flood IFACE video SECONDS RESULT [MBIT]
//       multicast video as an unmanaged switch floods it to every port: 24
//       cameras (own MAC and address each) sending 1316-byte UDP datagrams to
//       24 groups, MBIT (default 400) megabits per second in all.
//
// RESULT receives "FRAMES BYTES" (what the interface accepted) at the end.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Frame = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBatch = 64;
constexpr int kCameras = 24;
constexpr std::size_t kVideoPayload = 1316;  // seven MPEG-TS packets

void put16(Frame& f, std::size_t at, unsigned v) {
  f[at] = static_cast<std::uint8_t>(v >> 8);
  f[at + 1] = static_cast<std::uint8_t>(v);
}

// The storm's frame: "who has 10.79.x.253, tell 10.79.x.254" from a station
// that exists nowhere else on the segment, padded to the Ethernet minimum.
Frame storm_frame() {
  Frame f(60, 0);
  std::memset(f.data(), 0xFF, 6);
  const std::uint8_t source[6] = {0x02, 0x5F, 0x00, 0x00, 0x00, 0x01};
  std::memcpy(f.data() + 6, source, 6);
  put16(f, 12, 0x0806);
  put16(f, 14, 1);       // Ethernet
  put16(f, 16, 0x0800);  // IPv4
  f[18] = 6;
  f[19] = 4;
  put16(f, 20, 1);  // request
  std::memcpy(f.data() + 22, source, 6);
  const std::uint8_t sender[4] = {10, 79, 1, 254}, target[4] = {10, 79, 1, 253};
  std::memcpy(f.data() + 28, sender, 4);
  std::memcpy(f.data() + 38, target, 4);
  return f;
}

// Camera n (0..23): MAC 02:5F:00:00:01:n, 10.79.1.(40+n), group 239.1.1.(1+n),
// UDP 5004 to 5004; the payload counts on so that no two frames are equal.
Frame video_frame(int n) {
  const std::size_t udp = 8 + kVideoPayload;
  Frame f(14 + 20 + udp, 0);
  const std::uint8_t group_mac[6] = {0x01, 0x00, 0x5E,
                                     0x01, 0x01, static_cast<std::uint8_t>(1 + n)};
  const std::uint8_t source[6] = {0x02, 0x5F, 0x00, 0x00, 0x01, static_cast<std::uint8_t>(n)};
  std::memcpy(f.data(), group_mac, 6);
  std::memcpy(f.data() + 6, source, 6);
  put16(f, 12, 0x0800);
  std::uint8_t* ip = f.data() + 14;
  ip[0] = 0x45;
  put16(f, 16, static_cast<unsigned>(20 + udp));
  ip[8] = 16;  // TTL
  ip[9] = 17;  // UDP
  const std::uint8_t from[4] = {10, 79, 1, static_cast<std::uint8_t>(40 + n)};
  const std::uint8_t to[4] = {239, 1, 1, static_cast<std::uint8_t>(1 + n)};
  std::memcpy(ip + 12, from, 4);
  std::memcpy(ip + 16, to, 4);
  std::uint32_t sum = 0;
  for (int i = 0; i < 20; i += 2) sum += static_cast<std::uint32_t>(ip[i] << 8 | ip[i + 1]);
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  put16(f, 24, ~sum & 0xFFFF);
  put16(f, 34, 5004);
  put16(f, 36, 5004);
  put16(f, 38, static_cast<unsigned>(udp));
  for (std::size_t i = 0; i < kVideoPayload; i += 188) f[42 + i] = 0x47;  // TS sync bytes
  return f;
}

int fail(const char* what) {
  std::fprintf(stderr, "norvane-flood: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6) {
    std::fprintf(stderr, "usage: norvane-flood IFACE storm|video SECONDS RESULT [MBIT]\n");
    return 2;
  }
  const std::string mode = argv[2];
  const double seconds = std::atof(argv[3]);
  const double mbit = argc == 6 ? std::atof(argv[5]) : 400.0;
  if ((mode != "storm" && mode != "video") || seconds <= 0 || mbit <= 0) {
    std::fprintf(stderr, "norvane-flood: bad arguments\n");
    return 2;
  }
  const unsigned ifindex = ::if_nametoindex(argv[1]);
  if (ifindex == 0) return fail(argv[1]);
  const int s = ::socket(AF_PACKET, SOCK_RAW, 0);
  if (s < 0) return fail("packet socket");
  sockaddr_ll link{};
  link.sll_family = AF_PACKET;
  link.sll_ifindex = static_cast<int>(ifindex);
  if (::bind(s, reinterpret_cast<sockaddr*>(&link), sizeof link) != 0) return fail("bind");

  std::vector<Frame> frames;
  if (mode == "storm") {
    frames.push_back(storm_frame());
  } else {
    for (int n = 0; n < kCameras; ++n) frames.push_back(video_frame(n));
  }
  // One batch of sends: the frames in turn; in the video, each camera's
  // sequence number (bytes 4 and 5 of its first TS packet) counts on.
  std::array<iovec, kBatch> iov{};
  std::array<mmsghdr, kBatch> msgs{};
  std::vector<Frame> batch(kBatch);
  for (std::size_t i = 0; i < kBatch; ++i) batch[i] = frames[i % frames.size()];

  const double frame_rate =
      mode == "video" ? mbit * 1e6 / 8.0 / static_cast<double>(frames[0].size()) : 0.0;
  std::uint64_t sent = 0, sent_bytes = 0, sequence = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    std::size_t count = kBatch;
    if (frame_rate > 0) {
      const double due =
          std::chrono::duration<double>(Clock::now() - start).count() * frame_rate - double(sent);
      if (due < 1) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      count = std::min<std::size_t>(kBatch, static_cast<std::size_t>(due));
      for (std::size_t i = 0; i < count; ++i, ++sequence) {
        batch[i] = frames[sequence % frames.size()];
        const std::uint64_t round = sequence / frames.size();
        batch[i][46] = static_cast<std::uint8_t>(round >> 8);
        batch[i][47] = static_cast<std::uint8_t>(round);
      }
    }
    for (std::size_t i = 0; i < count; ++i) {
      iov[i] = {batch[i].data(), batch[i].size()};
      msgs[i] = {};
      msgs[i].msg_hdr.msg_iov = &iov[i];
      msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = ::sendmmsg(s, msgs.data(), static_cast<unsigned>(count), 0);
    if (n < 0) {
      if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR) return fail("send");
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    for (int i = 0; i < n; ++i) {
      ++sent;
      sent_bytes += batch[static_cast<std::size_t>(i)].size();
    }
  }
  ::close(s);
  std::ofstream(argv[4]) << sent << " " << sent_bytes << "\n";
  std::printf("norvane-flood: %s, %llu frames (%llu bytes) in %.1f s\n", mode.c_str(),
              static_cast<unsigned long long>(sent), static_cast<unsigned long long>(sent_bytes),
              seconds);
  return 0;
}
