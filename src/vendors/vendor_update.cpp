#include "vendors/vendor_update.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <thread>
#include <utility>

#include "vendors/registry_parsers.h"

namespace norvane {
namespace {

using Lock = std::lock_guard<std::mutex>;

std::u16string decimal(std::uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::u16string join(std::initializer_list<std::u16string_view> parts) {
  std::u16string out;
  for (std::u16string_view part : parts) out.append(part);
  return out;
}

UpdateResult failure(std::u16string message) { return {false, 0, std::move(message)}; }

}  // namespace

std::u16string with_code(std::u16string_view message, std::uint32_t code) {
  return join({message, u" (kod ", decimal(code), u")."});
}

std::u16string error_with_code(std::u16string_view message) {
  const std::uint32_t code = last_system_error();
  return with_code(message, code);
}

// ---------------------------------------------------------------------------
// Progress and checkpoints

void ProgressReporter::set_stage(std::uint32_t percent, bool indeterminate,
                                 std::u16string_view text) {
  Lock lock(state_.mutex);
  UpdateProgress& p = state_.progress;
  p.percent = std::max(p.percent, std::min<std::uint32_t>(percent, 100));
  p.indeterminate = indeterminate;
  p.text.assign(text);
  p.received = 0;
  p.total = 0;
}

void ProgressReporter::begin_download(std::uint32_t end_percent, std::u16string_view name) {
  Lock lock(state_.mutex);
  UpdateProgress& p = state_.progress;
  range_start_ = p.percent;
  range_end_ = std::max(range_start_, std::min<std::uint32_t>(end_percent, 100));
  p.indeterminate = true;
  p.received = 0;
  p.total = 0;
  p.text = join({u"Pobieranie ", name});
}

void ProgressReporter::report_bytes(std::uint64_t received, std::uint64_t total) {
  Lock lock(state_.mutex);
  UpdateProgress& p = state_.progress;
  p.received = received;
  p.total = total;
  p.indeterminate = total == 0;
  if (total != 0) {
    // Downloads never exceed their announced size, but a report beyond it
    // must not push the bar past the end of the range.
    const std::uint64_t done = std::min(received, total);
    const auto step = static_cast<std::uint32_t>(done * (range_end_ - range_start_) / total);
    p.percent = std::max(p.percent, range_start_ + step);
  }
}

bool check_continue(const VendorUpdate::State& state, UpdateClock& clock, std::uint64_t deadline,
                    std::u16string& text) {
  if (state.cancel_requested.load()) {
    text = u"Anulowano aktualizacj\u0119 bazy producent\u00F3w.";
    return false;
  }
  if (clock.tick_ms() >= deadline) {
    text = u"Przekroczono czas aktualizacji bazy producent\u00F3w.";
    return false;
  }
  return true;
}

bool file_is_fresh(UpdateFiles& files, UpdateClock& clock, const std::filesystem::path& path,
                   std::uint64_t max_age) {
  std::uint64_t written = 0;
  if (!files.last_write_time(path, written)) return false;
  const std::uint64_t now = clock.system_time();
  // A file dated in the future is never fresh.
  return now >= written && now - written < max_age;
}

// ---------------------------------------------------------------------------
// One download

bool download_registry(RegistryConnection& connection, std::u16string_view path,
                       std::u16string_view source, std::size_t max_size,
                       const DownloadContext& context, std::string& body, std::u16string& error) {
  struct RequestCloser {
    RegistryConnection& connection;
    ~RequestCloser() {
      // Also runs while an exception unwinds, where another would end the
      // process; a request that does not close is of no further concern.
      try {
        connection.close_request();
      } catch (...) {
      }
    }
  } closer{connection};

  body.clear();
  if (!check_continue(context.state, context.clock, context.deadline, error)) return false;
  if (!connection.send_request(path, error)) return false;
  std::uint32_t status = 0;
  if (!connection.status_code(status, error)) return false;
  if (status != 200) {
    error = join({source, u" zwr\u00F3ci\u0142 HTTP ", decimal(status), u"."});
    return false;
  }
  std::uint32_t announced = 0;
  switch (connection.content_length(announced, error)) {
    case RegistryConnection::Length::kAnnounced:
      if (announced == 0 || announced > max_size) {
        error = join({source, u" udost\u0119pni\u0142 rejestr o nieprawid\u0142owym rozmiarze."});
        return false;
      }
      body.reserve(announced);
      break;
    case RegistryConnection::Length::kMissing:
      announced = 0;
      break;
    case RegistryConnection::Length::kFailed:
      return false;
  }
  const std::size_t limit = announced != 0 ? announced : max_size;
  context.progress.report_bytes(0, announced);

  std::string buffer(kDownloadBuffer, '\0');
  for (;;) {
    if (!check_continue(context.state, context.clock, context.deadline, error)) return false;
    std::size_t got = 0;
    if (!connection.read(buffer.data(), buffer.size(), got, error)) return false;
    if (got == 0) {
      if (!body.empty() && (announced == 0 || body.size() == announced)) return true;
      error = join({u"Odebrano niepe\u0142ny rejestr z ", source, u"."});
      return false;
    }
    // A transport that claims more than the buffer holds is treated like an
    // oversized body rather than trusted.
    if (got > buffer.size() || got > limit - body.size()) {
      error = join({u"Rejestr z ", source, u" przekracza oczekiwany rozmiar."});
      return false;
    }
    body.append(buffer.data(), got);
    context.progress.report_bytes(body.size(), announced);
  }
}

// ---------------------------------------------------------------------------
// The policy

namespace {

constexpr std::u16string_view kMsgIeeeDone =
    u"Zaktualizowano baz\u0119 producent\u00F3w z rejestr\u00F3w IEEE.";
constexpr std::u16string_view kMsgManufDone =
    u"Zaktualizowano baz\u0119 producent\u00F3w z projektu Wireshark.";
constexpr std::u16string_view kMsgUpdateFailed =
    u"Aktualizacja bazy producent\u00F3w nie powiod\u0142a si\u0119.";

std::u16string incomplete(std::u16string_view name) {
  return join({u"Rejestr ", name, u" jest niepe\u0142ny lub nieprawid\u0142owy."});
}

// Removes a temporary file on every way out until released.
class TempFileGuard {
 public:
  TempFileGuard(UpdateFiles& files, std::filesystem::path path)
      : files_(files), path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!armed_) return;
    // Runs while an exception unwinds too: one more from the file system
    // would end the process.
    try {
      files_.remove(path_);
    } catch (...) {
    }
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void release() noexcept { armed_ = false; }

 private:
  UpdateFiles& files_;
  std::filesystem::path path_;
  bool armed_ = true;
};

// How replacing a file through a temporary one went: the step it stopped
// at (none when the file was replaced) and the system's error code of a
// failed create or move.
struct Replacing {
  enum class Step { kNone, kCreate, kSave, kProceed, kMove };
  Step stopped = Step::kNone;
  std::uint32_t code = 0;
};

// A file that other parts read is never written in place: the table goes
// into a new file beside `path` (named by process, thread and tick, created
// only if it is not there yet), `proceed` has a last word on the written
// file, and the file is moved over `path`. The temporary file is gone on every way out but the
// move.
template <typename Proceed>
Replacing replace_through_temporary(const VendorTable& table, const std::filesystem::path& path,
                                    UpdateFiles& files, UpdateClock& clock, Proceed proceed) {
  std::filesystem::path temp = path;
  temp += ".tmp-" + std::to_string(files.process_id()) + "-" + std::to_string(files.thread_id()) +
          "-" + std::to_string(clock.tick_ms());
  Replacing outcome;
  if (!files.create_new(temp, outcome.code)) {
    outcome.stopped = Replacing::Step::kCreate;
    return outcome;
  }
  TempFileGuard guard(files, temp);
  if (!files.save(table, temp)) {
    outcome.stopped = Replacing::Step::kSave;
  } else if (!proceed(temp)) {
    outcome.stopped = Replacing::Step::kProceed;
  } else if (!files.replace(temp, path, outcome.code)) {
    outcome.stopped = Replacing::Step::kMove;
  } else {
    guard.release();
  }
  return outcome;
}

// The new database beside the old one, then the move over it.
UpdateResult write_database(VendorUpdate::State& state, UpdateSystem& sys,
                            const std::filesystem::path& db, const VendorTable& table,
                            std::uint64_t deadline, bool from_manuf) {
  std::u16string text;
  const Replacing outcome = replace_through_temporary(
      table, db, *sys.files, *sys.clock,
      [&](const auto&) { return check_continue(state, *sys.clock, deadline, text); });
  switch (outcome.stopped) {
    case Replacing::Step::kCreate:
      return failure(
          with_code(u"Nie mo\u017Cna utworzy\u0107 pliku bazy obok programu", outcome.code));
    case Replacing::Step::kSave:
      return failure(u"Nie uda\u0142o si\u0119 zapisa\u0107 nowej bazy producent\u00F3w.");
    case Replacing::Step::kMove:
      return failure(
          with_code(u"Nie mo\u017Cna zast\u0105pi\u0107 bazy producent\u00F3w", outcome.code));
    case Replacing::Step::kProceed:
      return failure(text);
    case Replacing::Step::kNone:
      break;
  }
  return {true, table.size(), std::u16string(from_manuf ? kMsgManufDone : kMsgIeeeDone)};
}

UpdateResult run_policy(VendorUpdate::State& state, UpdateSystem& sys) {
  UpdateClock& clock = *sys.clock;
  UpdateFiles& files = *sys.files;
  const std::uint64_t t0 = clock.tick_ms();
  ProgressReporter progress(state);

  // 1.-2. Where the file is, and whether it is recent enough already.
  const std::filesystem::path db = files.database_path();
  if (db.empty()) {
    return failure(u"Nie mo\u017Cna ustali\u0107 po\u0142o\u017Cenia pliku bazy producent\u00F3w.");
  }
  if (file_is_fresh(files, clock, db, kFreshAge)) {
    VendorTable current;
    if (files.load(current, db) && current.size() >= kLeastDatabaseEntries) {
      return {true, current.size(),
              u"Baza producent\u00F3w zosta\u0142a ju\u017C pobrana w ci\u0105gu ostatnich 24 "
              u"godzin."};
    }
  }

  // 3.-4. The session lives until the end of the update.
  VendorTable table;
  progress.set_stage(2, true, u"\u0141\u0105czenie z IEEE");
  std::u16string text;
  const std::unique_ptr<RegistrySession> session = sys.transport->open_session(text);
  if (!session) return failure(text);

  // 5.-6. The four IEEE registries, under the IEEE phase's deadline.
  std::u16string ieee_error;
  {
    std::uint32_t code = 0;
    const std::unique_ptr<RegistryConnection> ieee = session->connect(kIeeeHost, code);
    if (!ieee) {
      ieee_error = with_code(u"Nie mo\u017Cna otworzy\u0107 po\u0142\u0105czenia z IEEE", code);
    } else {
      const DownloadContext context{state, clock, t0 + kIeeePhaseMs, progress};
      std::string body;
      for (const IeeeSource& source : kIeeeSources) {
        progress.begin_download(source.percent, source.name);
        if (!download_registry(*ieee, source.path, source.name, source.max_size, context, body,
                               ieee_error)) {
          break;
        }
        progress.set_stage(source.percent, false, join({u"Sprawdzanie rejestru ", source.name}));
        const std::size_t before = table.size();
        if (!parse_ieee_csv(table, body, source.bits) || table.size() - before < source.least_new) {
          ieee_error = incomplete(source.name);
          break;
        }
      }
    }
  }

  // 7.-8. From here on the whole update's deadline applies.
  const std::uint64_t deadline = t0 + kUpdateDeadlineMs;
  bool from_manuf = false;
  if (!ieee_error.empty()) {
    if (!check_continue(state, clock, deadline, text)) return failure(text);
    progress.set_stage(2, true, u"Sprawdzanie lokalnej bazy producent\u00F3w");
    if (file_is_fresh(files, clock, db, kUsableAge)) {
      VendorTable current;
      if (files.load(current, db) && current.size() >= kLeastDatabaseEntries) {
        return {true, current.size(),
                u"Rejestry IEEE s\u0105 chwilowo niedost\u0119pne. Nadal dzia\u0142a baza z "
                u"ostatniego tygodnia."};
      }
    }
    std::u16string second_error;
    {
      std::uint32_t code = 0;
      const std::unique_ptr<RegistryConnection> web = session->connect(kWiresharkHost, code);
      if (!web) {
        second_error =
            with_code(u"Nie mo\u017Cna otworzy\u0107 po\u0142\u0105czenia z Wireshark", code);
      } else {
        progress.begin_download(kManufPercent, u"bazy Wireshark");
        const DownloadContext context{state, clock, deadline, progress};
        std::string body;
        if (download_registry(*web, kManufPath, u"Wireshark", kManufMaxSize, context, body,
                              second_error)) {
          progress.set_stage(kManufPercent, false, u"Sprawdzanie bazy Wireshark");
          VendorTable manuf;
          if (parse_manuf(manuf, body) && manuf.size() >= kLeastDatabaseEntries) {
            table.swap(manuf);
          } else {
            second_error = incomplete(u"Wireshark");
          }
        }
      }
    }
    if (!second_error.empty()) return failure(join({ieee_error, u" ", second_error}));
    from_manuf = true;
  }

  // 9. Writing the file.
  progress.set_stage(96, false, u"Zapisywanie bazy producent\u00F3w");
  if (!check_continue(state, clock, deadline, text)) return failure(text);
  return write_database(state, sys, db, table, deadline, from_manuf);
}

}  // namespace

UpdateResult run_vendor_update(VendorUpdate::State& state, UpdateSystem& system) {
  try {
    return run_policy(state, system);
  } catch (...) {
    // Allocation failures and the like: the temporary file is already gone
    // (its guard ran during unwinding).
  }
  return failure(std::u16string(kMsgUpdateFailed));
}

void vendor_update_worker(std::shared_ptr<VendorUpdate::State> state,
                          UpdateSystem& system) noexcept {
  // Everything that allocates happens here, before the lock: the result,
  // and the copy of its message that the progress shows.
  UpdateResult result;
  std::u16string shown;
  try {
    result = run_vendor_update(*state, system);
    shown = result.message;
  } catch (...) {
    // Not even the failure's message could be made (no memory left): the
    // failure goes out as it can, without text rather than not at all, so
    // that the window is told the update has ended.
    result = UpdateResult{};
    shown.clear();
    try {
      result.message = kMsgUpdateFailed;
      shown = kMsgUpdateFailed;
    } catch (...) {
      result.message.clear();
      shown.clear();
    }
  }
  {
    Lock lock(state->mutex);
    if (!state->cancel_requested.load()) {
      UpdateProgress& p = state->progress;
      if (result.success) p.percent = 100;
      p.indeterminate = false;
      p.received = 0;
      p.total = 0;
      p.text = std::move(shown);
      state->result = std::move(result);
      // Posted under the lock: a window that cancels takes the same lock to
      // clear the handle, so no message reaches a destroyed window.
      if (state->window != nullptr && state->done_message != 0 && system.post) {
        try {
          system.post(state->window, state->done_message);
        } catch (...) {
          // The result is stored: the window still finds it when it polls.
        }
      }
    }
  }
  state.reset();
}

// ---------------------------------------------------------------------------
// The window's side

bool start_vendor_update(UpdateSlot& slot, void* window, std::uint32_t done_message,
                         std::unique_ptr<UpdateSystem> system) {
  if (slot || !system || !system->clock || !system->files || !system->transport) return false;
  // No memory for the state or the thread, or no thread at all: a failed
  // start, with the slot left empty and the system released.
  try {
    auto state = std::make_shared<VendorUpdate::State>();
    state->window = window;
    state->done_message = done_message;
    // Taken out first: the thread may end, and release the system with the
    // starter in it, before the starter returns.
    UpdateThreadStarter start = std::move(system->start_thread);
    std::shared_ptr<UpdateSystem> sys(std::move(system));
    std::function<void()> body = [state, sys]() mutable {
      vendor_update_worker(std::move(state), *sys);
    };
    if (start) {
      start(std::move(body));
    } else {
      std::thread(std::move(body)).detach();
    }
    slot = std::move(state);
    return true;
  } catch (...) {
    return false;
  }
}

bool vendor_update_running(const UpdateSlot& slot) {
  if (!slot) return false;
  Lock lock(slot->mutex);
  return !slot->result.has_value();
}

std::optional<UpdateProgress> read_update_progress(const UpdateSlot& slot) {
  if (!slot) return std::nullopt;
  Lock lock(slot->mutex);
  return slot->progress;
}

std::optional<UpdateResult> take_update_result(UpdateSlot& slot) {
  if (!slot) return std::nullopt;
  std::optional<UpdateResult> result;
  {
    Lock lock(slot->mutex);
    result = slot->result;
  }
  if (result) slot.reset();
  return result;
}

void cancel_vendor_update(UpdateSlot& slot) {
  if (!slot) return;
  slot->cancel_requested.store(true);
  {
    Lock lock(slot->mutex);
    slot->window = nullptr;
  }
  slot.reset();
}

bool save_vendor_db_replacing(const VendorTable& table, const std::filesystem::path& path,
                              UpdateFiles& files, UpdateClock& clock,
                              const std::function<bool(const std::filesystem::path&)>& finish) {
  if (table.empty() || path.empty()) return false;
  return replace_through_temporary(
             table, path, files, clock,
             [&](const std::filesystem::path& temp) { return !finish || finish(temp); })
             .stopped == Replacing::Step::kNone;
}

}  // namespace norvane
