// The real WinHTTP transfer and the whole update against a local stand-in
// of the registry servers. tests/lab/https/https_lab.sh starts the server
// and runs this program inside a network and mount namespace of its own
// (the two host names mapped to its addresses, the test authority trusted
// in its own Wine prefix only); anywhere else every test skips.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/window_win.h"
#include "support/norvane_exe_win.h"
#include "support/summaries.h"
#include "vendors/registry_parsers.h"
#include "vendors/vendor_db.h"
#include "vendors/vendor_update.h"

namespace norvane {
namespace {

namespace fs = std::filesystem;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Linux path as Windows sees it under Wine (drive Z:).
fs::path windows_path(const std::string& linux_path) { return test::windows_path(linux_path); }

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

fs::path lab_work() { return windows_path(env("NORVANE_HTTPS_WORK")); }

constexpr std::u16string_view kTls13Host = u"tls13.nvv.test";

// Trusts the lab's certificate authority in this prefix's machine store:
// no dialog, nothing outside the prefix.
bool trust_lab_authority() {
  const std::string pem = read_bytes(lab_work() / "ca.pem");
  if (pem.empty()) return false;
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    return false;
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            der.data(), &size, nullptr, nullptr)) {
    return false;
  }
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return false;
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added != FALSE;
}

class LabEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (env("NORVANE_HTTPS_WORK").empty()) return;
    ASSERT_TRUE(trust_lab_authority());
    const std::wstring manifest =
        windows_path(env("NORVANE_SOURCE")).wstring() + L"\\src\\app\\norvane.manifest";
    ACTCTXW ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.lpSource = manifest.c_str();
    HANDLE context = CreateActCtxW(&ctx);
    ASSERT_NE(context, INVALID_HANDLE_VALUE);
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(context, &cookie));
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    ASSERT_TRUE(Window::register_class(GetModuleHandleW(nullptr), nullptr, nullptr));
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new LabEnvironment);

class HttpsLab : public ::testing::Test {
 protected:
  void SetUp() override {
    if (env("NORVANE_HTTPS_WORK").empty()) {
      GTEST_SKIP() << "runs inside tests/lab/https/https_lab.sh only";
    }
    std::error_code ec;
    fs::remove(lab_work() / "fail-all", ec);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(lab_work() / "fail-all", ec);
  }
  static void fail_all(bool on) {
    if (on) {
      write_bytes(lab_work() / "fail-all", "1");
    } else {
      std::error_code ec;
      fs::remove(lab_work() / "fail-all", ec);
    }
  }
  static std::string request_log() { return read_bytes(lab_work() / "requests.log"); }
};

struct Fetched {
  bool ok = false;
  std::u16string error;
  std::string body;
};

// One download through a new session, as the worker makes it; `during`
// runs beside it on another thread with the download's state.
Fetched fetch(std::u16string_view host, std::u16string_view path, std::size_t max_size,
              std::function<void(VendorUpdate::State&)> during = {}) {
  Fetched out;
  const auto transport = make_winhttp_transport();
  const auto session = transport->open_session(out.error);
  if (!session) return out;
  std::uint32_t code = 0;
  const auto connection = session->connect(host, code);
  if (!connection) {
    out.error = with_code(u"connect", code);
    return out;
  }
  VendorUpdate::State state;
  const auto clock = make_platform_update_clock();
  ProgressReporter progress(state);
  progress.begin_download(52, u"IEEE MA-L");
  const DownloadContext context{state, *clock, clock->tick_ms() + 60000, progress};
  std::thread side;
  if (during) side = std::thread([&] { during(state); });
  out.ok =
      download_registry(*connection, path, u"IEEE MA-L", max_size, context, out.body, out.error);
  state.cancel_requested.store(true);  // lets `during` end
  if (side.joinable()) side.join();
  return out;
}

TEST_F(HttpsLab, DownloadChecksOverRealTls) {
  struct Case {
    const char* what;
    std::u16string_view host;
    std::u16string_view path;
    std::size_t max_size;
    bool ok;
    std::size_t size;
    std::u16string error;
  };
  const std::u16string bad_size =
      u"IEEE MA-L udost\u0119pni\u0142 rejestr o nieprawid\u0142owym rozmiarze.";
  const Case cases[] = {
      {"announced length", kIeeeHost, u"/test/ok", 16777216, true, 10000, u""},
      {"chunked without length", kIeeeHost, u"/test/chunked", 16777216, true, 300000, u""},
      {"chunked and empty", kIeeeHost, u"/test/chunked-empty", 16777216, false, 0,
       u"Odebrano niepe\u0142ny rejestr z IEEE MA-L."},
      {"chunked above the largest size", kIeeeHost, u"/test/chunked-huge", 8388608, false, 0,
       u"Rejestr z IEEE MA-L przekracza oczekiwany rozmiar."},
      {"Content-Length 0", kIeeeHost, u"/test/length0", 16777216, false, 0, bad_size},
      {"Content-Length 16777217", kIeeeHost, u"/test/toolarge", 16777216, false, 0, bad_size},
      // Wine's WinHTTP hands over the bytes beyond the announced length; the
      // read that crosses it ends the download.
      {"body longer than announced", kIeeeHost, u"/test/longer", 16777216, false, 0,
       u"Rejestr z IEEE MA-L przekracza oczekiwany rozmiar."},
      {"302 not followed", kIeeeHost, u"/test/redirect", 16777216, false, 0,
       u"IEEE MA-L zwr\u00F3ci\u0142 HTTP 302."},
      {"unknown path", kWiresharkHost, u"/nothing", 16777216, false, 0,
       u"IEEE MA-L zwr\u00F3ci\u0142 HTTP 404."},
  };
  for (const Case& c : cases) {
    const Fetched f = fetch(c.host, c.path, c.max_size);
    EXPECT_EQ(f.ok, c.ok) << c.what << ": " << narrow(f.error);
    if (c.ok) {
      EXPECT_EQ(f.body.size(), c.size) << c.what;
    } else {
      EXPECT_EQ(f.error, c.error) << c.what << ": " << narrow(f.error);
    }
  }
  // The redirect target was never asked for.
  const std::string log = request_log();
  EXPECT_NE(log.find("GET /test/redirect"), std::string::npos);
  EXPECT_EQ(log.find("GET /test/ok HTTP/1.1\nHost: www"), std::string::npos);
  std::size_t oks = 0;
  for (std::size_t at = log.find("GET /test/ok "); at != std::string::npos;
       at = log.find("GET /test/ok ", at + 1)) {
    ++oks;
  }
  EXPECT_EQ(oks, 1u);
}

TEST_F(HttpsLab, RequestHeaders) {
  ASSERT_TRUE(fetch(kIeeeHost, u"/test/ok", 1 << 20).ok);
  const std::string log = request_log();
  EXPECT_NE(log.find("User-Agent: Norvane/1.0"), std::string::npos) << log;
  EXPECT_NE(log.find("Accept-Encoding: identity"), std::string::npos) << log;
  EXPECT_NE(log.find("text/csv"), std::string::npos) << log;
  EXPECT_NE(log.find("Host: standards-oui.ieee.org"), std::string::npos) << log;
}

TEST_F(HttpsLab, ShortBodyAndTls13OnlyServerFail) {
  const Fetched shorter = fetch(kIeeeHost, u"/test/shorter", 16777216);
  EXPECT_FALSE(shorter.ok);
  // Depending on when the close is seen: the body ends early, or the read
  // itself fails.
  EXPECT_TRUE(
      shorter.error == u"Odebrano niepe\u0142ny rejestr z IEEE MA-L." ||
      shorter.error.starts_with(
          u"Nie uda\u0142o si\u0119 pobra\u0107 ca\u0142ego rejestru producent\u00F3w (kod "))
      << narrow(shorter.error);

  // Wine's WinHTTP negotiates TLS 1.2 only (Windows with TLS 1.3 would
  // succeed here): the handshake fails and the send reports it.
  const Fetched tls13 = fetch(kTls13Host, u"/test/ok", 1 << 20);
  EXPECT_FALSE(tls13.ok);
  EXPECT_TRUE(
      tls13.error.starts_with(u"Nie mo\u017Cna wys\u0142a\u0107 \u017C\u0105dania HTTPS (kod ") ||
      tls13.error.starts_with(u"Nie mo\u017Cna odebra\u0107 odpowiedzi HTTPS (kod "))
      << narrow(tls13.error);
}

TEST_F(HttpsLab, CancelMidDownload) {
  const auto started = std::chrono::steady_clock::now();
  const Fetched f = fetch(kIeeeHost, u"/test/slow", 16777216, [](VendorUpdate::State& state) {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.progress.received >= 3000) break;
      }
      if (state.cancel_requested.load()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    state.cancel_requested.store(true);
  });
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.error, u"Anulowano aktualizacj\u0119 bazy producent\u00F3w.") << narrow(f.error);
  EXPECT_GE(f.body.size(), 3000u);
  EXPECT_LT(f.body.size(), 2000000u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST_F(HttpsLab, RealRegistryParses) {
  const Fetched f = fetch(kIeeeHost, u"/oui/oui.csv", 16777216);
  ASSERT_TRUE(f.ok) << narrow(f.error);
  EXPECT_EQ(f.body, read_bytes(windows_path("/usr/share/ieee-data/oui.csv")));
  VendorTable table;
  EXPECT_TRUE(parse_ieee_csv(table, f.body, 24));
  EXPECT_GE(table.size(), 25000u);
}

// ---------------------------------------------------------------------------
// The whole update from the button

// The platform's files with the database in a folder of the test's own.
class LabFiles final : public UpdateFiles {
 public:
  explicit LabFiles(fs::path db) : real_(make_platform_update_files()), db_(std::move(db)) {}
  fs::path database_path() override { return db_; }
  bool last_write_time(const fs::path& p, std::uint64_t& t) override {
    return real_->last_write_time(p, t);
  }
  bool load(VendorTable& t, const fs::path& p) override { return real_->load(t, p); }
  bool create_new(const fs::path& p, std::uint32_t& e) override { return real_->create_new(p, e); }
  bool save(const VendorTable& t, const fs::path& p) override { return real_->save(t, p); }
  bool replace(const fs::path& a, const fs::path& b, std::uint32_t& e) override {
    return real_->replace(a, b, e);
  }
  void remove(const fs::path& p) override { real_->remove(p); }
  std::uint64_t process_id() override { return real_->process_id(); }
  std::uint64_t thread_id() override { return real_->thread_id(); }

 private:
  std::unique_ptr<UpdateFiles> real_;
  fs::path db_;
};

const std::string kOldDb = "# IEEE MAC vendor database v1\n4419B6\tOld Maker\n001122\tOld Two\n";

fs::path fresh_dir(const wchar_t* name) {
  const fs::path dir = fs::temp_directory_path() /
                       (std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId()));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  return dir;
}

class WindowUpdate : public HttpsLab {
 protected:
  void SetUp() override {
    HttpsLab::SetUp();
    if (IsSkipped()) return;
    dir = fresh_dir(L"norvane-https-window");
    db = dir / L"mac-vendors.tsv";
    write_bytes(db, kOldDb);
    WindowOptions options;
    options.forced_dpi = 96;
    options.warn = [this](std::wstring_view text, std::wstring_view caption) {
      warnings.emplace_back(std::wstring(caption) + L": " + std::wstring(text));
    };
    const fs::path file = db;
    options.vendor_update_system = [file] {
      auto sys = std::make_unique<UpdateSystem>();
      sys->clock = make_platform_update_clock();
      sys->files = std::make_unique<LabFiles>(file);
      sys->transport = make_winhttp_transport();
      sys->post = [](void* target, std::uint32_t message) {
        PostMessageW(static_cast<HWND>(target), message, 0, 0);
      };
      return sys;
    };
    window = std::make_unique<Window>(options);
    ASSERT_NE(window->create(GetModuleHandleW(nullptr)), nullptr);
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    // The old database, as if it had been there at start-up.
    window->set_vendor_db_file(db);
    window->finish_vendor_update({true, 0, u""});
    const auto generation = window->queue_generation();
    ASSERT_TRUE(window->queue_summary(
        test::device_summary("44:19:B6:01:02:03", "10.81.0.9", "mDNS", "cam"), generation));
    window->update();
  }
  void TearDown() override {
    if (window && window->hwnd()) DestroyWindow(window->hwnd());
    pump();
    window.reset();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
    HttpsLab::TearDown();
  }
  static void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  std::wstring vendor_cell() const {
    wchar_t buffer[600] = {};
    LVITEMW lv{};
    lv.iSubItem = 2;
    lv.pszText = buffer;
    lv.cchTextMax = 600;
    SendMessageW(window->list_view(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&lv));
    return buffer;
  }
  // Presses "Aktualizuj bazę" and runs the message loop until the update
  // has finished (the button is usable again).
  void press_and_wait() {
    HWND button = window->update_button();
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(kIdUpdate, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_TRUE(window->progress_shown());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!IsWindowEnabled(button) && std::chrono::steady_clock::now() < until) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      pump();
    }
    ASSERT_TRUE(IsWindowEnabled(button)) << "update did not finish";
    EXPECT_FALSE(window->progress_shown());
  }

  fs::path dir;
  fs::path db;
  std::unique_ptr<Window> window;
  std::vector<std::wstring> warnings;
};

TEST_F(WindowUpdate, PressReloadsTheVendorColumn) {
  ASSERT_EQ(vendor_cell(), L"Old Maker");
  press_and_wait();
  EXPECT_EQ(window->notice(), u"Zaktualizowano baz\u0119 producent\u00F3w z rejestr\u00F3w IEEE.");
  EXPECT_NE(window->notice_expiry(), 0u);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(vendor_cell(), L"Hikvision");
  VendorTable saved;
  ASSERT_TRUE(load_vendor_db(saved, db));
  EXPECT_GE(saved.size(), 40000u);
  // Nothing but the database is left in the folder.
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);
  // A second press within a day needs no download.
  const std::size_t requests = request_log().size();
  press_and_wait();
  EXPECT_EQ(window->notice(),
            u"Baza producent\u00F3w zosta\u0142a ju\u017C pobrana w ci\u0105gu ostatnich 24 "
            u"godzin.");
  EXPECT_EQ(request_log().size(), requests);
}

TEST_F(WindowUpdate, FailureKeepsTheOldFileAndTable) {
  fail_all(true);
  press_and_wait();
  EXPECT_EQ(window->notice(), u"B\u0142\u0105d aktualizacji VENDOR");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0],
            L"Baza VENDOR: IEEE MA-L zwr\u00F3ci\u0142 HTTP 503. Wireshark zwr\u00F3ci\u0142 HTTP "
            L"503.");
  EXPECT_EQ(read_bytes(db), kOldDb);
  EXPECT_EQ(vendor_cell(), L"Old Maker");
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);
}

// ---------------------------------------------------------------------------
// Norvane.exe itself

std::wstring text_of(HWND hwnd) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(hwnd, buffer, 1024);
  return buffer;
}

class AppUpdate : public HttpsLab {
 protected:
  void SetUp() override {
    HttpsLab::SetUp();
    if (IsSkipped()) return;
    dir = fresh_dir(L"norvane-https-app");
    const fs::path exe = windows_path(env("NORVANE_EXE"));
    fs::copy_file(exe, dir / L"Norvane.exe");
    write_bytes(dir / L"mac-vendors.tsv", kOldDb);
    program = std::make_unique<test::NorvaneExe>((dir / L"Norvane.exe").wstring(), dir.wstring());
    ASSERT_TRUE(program->started());
    main = program->wait_for_main_window(60000);
    ASSERT_NE(main, nullptr);
    for (HWND child : test::child_windows(main)) {
      if (GetDlgCtrlID(child) == kIdUpdate) button = child;
      if (test::class_name(child) == L"Static") statics.push_back(child);
    }
    ASSERT_NE(button, nullptr);
  }
  void TearDown() override {
    if (program && program->started()) {
      const std::optional<DWORD> code = program->close(20000);
      if (code) {
        EXPECT_EQ(*code, 0u);
      } else {
        ADD_FAILURE() << "Norvane.exe did not close";
      }
    }
    program.reset();
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
    HttpsLab::TearDown();
  }
  void press() {
    ASSERT_TRUE(IsWindowEnabled(button));
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(kIdUpdate, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }
  bool status_contains(const std::wstring& part) const {
    for (HWND s : statics) {
      if (text_of(s).find(part) != std::wstring::npos) return true;
    }
    return false;
  }
  // A top-level window of the process titled title, or null.
  HWND process_window(const wchar_t* title) const {
    for (HWND hwnd : program->top_windows()) {
      if (text_of(hwnd) == title && IsWindowVisible(hwnd)) return hwnd;
    }
    return nullptr;
  }

  fs::path dir;
  std::unique_ptr<test::NorvaneExe> program;
  HWND main = nullptr;
  HWND button = nullptr;
  std::vector<HWND> statics;
};

TEST_F(AppUpdate, PressReplacesTheDatabaseBesideTheProgram) {
  press();
  const std::wstring done = L"Zaktualizowano baz\u0119 producent\u00F3w z rejestr\u00F3w IEEE.";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!status_contains(done) && std::chrono::steady_clock::now() < until) Sleep(100);
  ASSERT_TRUE(status_contains(done));
  EXPECT_TRUE(IsWindowEnabled(button));
  EXPECT_EQ(text_of(button), L"Aktualizuj baz\u0119");
  VendorTable saved;
  ASSERT_TRUE(load_vendor_db(saved, dir / L"mac-vendors.tsv"));
  EXPECT_GE(saved.size(), 40000u);
  EXPECT_EQ(vendor_display_name(saved, "44:19:B6:01:02:03"), "Hikvision");
}

TEST_F(AppUpdate, FailedUpdateLeavesTheFileByteForByte) {
  fail_all(true);
  press();
  HWND box = nullptr;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!(box = process_window(L"Baza VENDOR")) && std::chrono::steady_clock::now() < until) {
    Sleep(100);
  }
  ASSERT_NE(box, nullptr) << "no warning box";
  bool said = false;
  for (HWND part : test::child_windows(box)) {
    if (text_of(part).find(L"zwr\u00F3ci\u0142 HTTP 503") != std::wstring::npos) said = true;
  }
  EXPECT_TRUE(said);
  EXPECT_TRUE(status_contains(L"B\u0142\u0105d aktualizacji VENDOR"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
  EXPECT_EQ(read_bytes(dir / L"mac-vendors.tsv"), kOldDb);
}

}  // namespace
}  // namespace norvane
