// The vendor database update: a background worker that refreshes
// mac-vendors.tsv from the IEEE registries (or keeps a recent file, or falls
// back to the Wireshark manufacturer file) and reports to the window through
// one shared state and one posted message.
//
// The policy is portable; the transfer, the clocks and the file system are
// small interfaces with WinHTTP and Win32 as the production implementations,
// so that every rule of the policy can be exercised with fakes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "vendors/vendor_table.h"

namespace norvane {

struct UpdateProgress {
  std::uint32_t percent = 0;  // never decreases during one update
  bool indeterminate = true;
  std::uint64_t received = 0;  // bytes of the current download
  std::uint64_t total = 0;     // announced size, 0 when none
  std::u16string text;
};

struct UpdateResult {
  bool success = false;
  std::uint64_t count = 0;
  std::u16string message;
};

namespace VendorUpdate {

// Shared by the window and one worker thread; whichever lets go last
// destroys it.
struct State {
  std::atomic<bool> cancel_requested{false};
  std::mutex mutex;
  // Guarded by mutex.
  void* window = nullptr;
  std::uint32_t done_message = 0;
  UpdateProgress progress{0, true, 0, 0, u"Sprawdzanie lokalnej bazy producent\u00F3w"};
  std::optional<UpdateResult> result;
};

}  // namespace VendorUpdate

// The window's slot for the state of the update it runs.
using UpdateSlot = std::shared_ptr<VendorUpdate::State>;

// ---------------------------------------------------------------------------
// Seams

class UpdateClock {
 public:
  virtual ~UpdateClock() = default;
  // Milliseconds of the monotonic tick count.
  virtual std::uint64_t tick_ms() = 0;
  // The current system time in 100 ns units since 1601 (file time).
  virtual std::uint64_t system_time() = 0;
};

class UpdateFiles {
 public:
  virtual ~UpdateFiles() = default;
  // Where mac-vendors.tsv lives; empty when unknown.
  virtual std::filesystem::path database_path() = 0;
  // Last-write time in file-time units; false when the attributes cannot be
  // read or the path is a directory.
  virtual bool last_write_time(const std::filesystem::path& path, std::uint64_t& time) = 0;
  virtual bool load(VendorTable& target, const std::filesystem::path& path) = 0;
  // Creates the file only if it does not exist yet, and closes it at once;
  // on failure error is the system's error number.
  virtual bool create_new(const std::filesystem::path& path, std::uint32_t& error) = 0;
  virtual bool save(const VendorTable& table, const std::filesystem::path& path) = 0;
  // Moves from over to, replacing it, and returns only when the move is on
  // disk.
  virtual bool replace(const std::filesystem::path& from, const std::filesystem::path& to,
                       std::uint32_t& error) = 0;
  virtual void remove(const std::filesystem::path& path) = 0;
  virtual std::uint64_t process_id() = 0;
  virtual std::uint64_t thread_id() = 0;
};

// One HTTPS connection to one server; one request at a time. Every failure
// fills error with the complete message (with the system error number).
class RegistryConnection {
 public:
  virtual ~RegistryConnection() = default;
  // Creates the GET request for path, sends it and receives the response
  // head. A new request closes the previous one.
  virtual bool send_request(std::u16string_view path, std::u16string& error) = 0;
  virtual bool status_code(std::uint32_t& status, std::u16string& error) = 0;
  enum class Length { kAnnounced, kMissing, kFailed };
  virtual Length content_length(std::uint32_t& length, std::u16string& error) = 0;
  // Reads up to size bytes of the body; got 0 means the body has ended.
  virtual bool read(char* buffer, std::size_t size, std::size_t& got, std::u16string& error) = 0;
  // Closes the current request.
  virtual void close_request() = 0;
};

class RegistrySession {
 public:
  virtual ~RegistrySession() = default;
  // Port 443 of host; null with the system error number on failure.
  virtual std::unique_ptr<RegistryConnection> connect(std::u16string_view host,
                                                      std::uint32_t& error) = 0;
};

class RegistryTransport {
 public:
  virtual ~RegistryTransport() = default;
  // Null with the complete message on failure.
  virtual std::unique_ptr<RegistrySession> open_session(std::u16string& error) = 0;
};

// Runs body on a thread of its own that nobody waits for; throws when no
// thread can be started.
using UpdateThreadStarter = std::function<void(std::function<void()> body)>;

// Everything the worker reaches outside its own memory.
struct UpdateSystem {
  std::unique_ptr<UpdateClock> clock;
  std::unique_ptr<UpdateFiles> files;
  std::unique_ptr<RegistryTransport> transport;
  // Posts message to window (both parameters 0).
  std::function<void(void* window, std::uint32_t message)> post;
  // Empty: a detached std::thread.
  UpdateThreadStarter start_thread;
};

// ---------------------------------------------------------------------------
// Policy constants

inline constexpr std::uint64_t kFreshAge = 864000000000ull;    // 24 hours in 100 ns
inline constexpr std::uint64_t kUsableAge = 6048000000000ull;  // 7 days in 100 ns
inline constexpr std::size_t kLeastDatabaseEntries = 5000;
inline constexpr std::uint64_t kIeeePhaseMs = 50000;
inline constexpr std::uint64_t kUpdateDeadlineMs = 90000;
inline constexpr std::size_t kDownloadBuffer = 65536;

inline constexpr std::u16string_view kIeeeHost = u"standards-oui.ieee.org";
inline constexpr std::u16string_view kWiresharkHost = u"www.wireshark.org";

struct IeeeSource {
  std::u16string_view name;
  std::u16string_view path;
  unsigned bits;
  std::size_t max_size;
  std::size_t least_new;
  std::uint32_t percent;
};

inline constexpr IeeeSource kIeeeSources[] = {
    {u"IEEE MA-L", u"/oui/oui.csv", 24, 16777216, 5000, 52},
    {u"IEEE MA-M", u"/oui28/mam.csv", 28, 12582912, 256, 65},
    {u"IEEE MA-S", u"/oui36/oui36.csv", 36, 12582912, 256, 81},
    {u"IEEE IAB", u"/iab/iab.csv", 36, 8388608, 256, 93},
};

inline constexpr std::u16string_view kManufPath = u"/download/automated/data/manuf";
inline constexpr std::size_t kManufMaxSize = 8388608;
inline constexpr std::uint32_t kManufPercent = 94;

// ---------------------------------------------------------------------------
// The window's operations (UI thread)

// False when the slot already holds a state or the update cannot start
// (whatever the reason, an allocation failure included); the slot is then
// unchanged and nothing runs.
bool start_vendor_update(UpdateSlot& slot, void* window, std::uint32_t done_message,
                         std::unique_ptr<UpdateSystem> system);
// The same with the platform's system (WinHTTP, Win32 files and clocks).
bool start_vendor_update(UpdateSlot& slot, void* window, std::uint32_t done_message);
bool vendor_update_running(const UpdateSlot& slot);
std::optional<UpdateProgress> read_update_progress(const UpdateSlot& slot);
// The result once it is ready; the slot then lets go of the state.
std::optional<UpdateResult> take_update_result(UpdateSlot& slot);
// The worker stops at its next checkpoint and publishes nothing.
void cancel_vendor_update(UpdateSlot& slot);

// ---------------------------------------------------------------------------
// Inside the worker

// The thread body: runs the policy, publishes the result unless cancelled
// and lets go of the state. Nothing escapes it: any exception becomes a
// failure result.
void vendor_update_worker(std::shared_ptr<VendorUpdate::State> state,
                          UpdateSystem& system) noexcept;
// The policy alone (what the worker publishes); an exception from the
// policy becomes a failure result, and only an allocation failure while
// making that result can escape.
UpdateResult run_vendor_update(VendorUpdate::State& state, UpdateSystem& system);

class ProgressReporter {
 public:
  explicit ProgressReporter(VendorUpdate::State& state) : state_(state) {}
  void set_stage(std::uint32_t percent, bool indeterminate, std::u16string_view text);
  void begin_download(std::uint32_t end_percent, std::u16string_view name);
  void report_bytes(std::uint64_t received, std::uint64_t total);

 private:
  VendorUpdate::State& state_;
  std::uint32_t range_start_ = 0;
  std::uint32_t range_end_ = 0;
};

bool check_continue(const VendorUpdate::State& state, UpdateClock& clock, std::uint64_t deadline,
                    std::u16string& text);
bool file_is_fresh(UpdateFiles& files, UpdateClock& clock, const std::filesystem::path& path,
                   std::uint64_t max_age);

// message + " (kod " + code + ")."
std::u16string with_code(std::u16string_view message, std::uint32_t code);
// The same with the calling thread's last system error, read first.
std::u16string error_with_code(std::u16string_view message);
std::uint32_t last_system_error() noexcept;

struct DownloadContext {
  VendorUpdate::State& state;
  UpdateClock& clock;
  std::uint64_t deadline;
  ProgressReporter& progress;
};

// Fetches one registry into body; false with error set. Checks cancellation
// and the deadline before the request and before every read.
bool download_registry(RegistryConnection& connection, std::u16string_view path,
                       std::u16string_view source, std::size_t max_size,
                       const DownloadContext& context, std::string& body, std::u16string& error);

// Platform implementations of the seams (Win32 on Windows, POSIX for the
// command-line tools).
std::unique_ptr<UpdateClock> make_platform_update_clock();
std::unique_ptr<UpdateFiles> make_platform_update_files();
// WinHTTP (Windows only).
std::unique_ptr<RegistryTransport> make_winhttp_transport();

// Saves table to path through a temporary file beside it that is then moved
// over path, so a reader never sees a half-written file. `finish`, when
// given, runs on the written temporary file before the move (to date it,
// say); false from it leaves path as it was.
bool save_vendor_db_replacing(const VendorTable& table, const std::filesystem::path& path,
                              UpdateFiles& files, UpdateClock& clock,
                              const std::function<bool(const std::filesystem::path&)>& finish = {});

}  // namespace norvane
