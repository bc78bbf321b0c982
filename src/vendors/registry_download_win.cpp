// The registry transfer over WinHTTP: one synchronous session per update,
// one connection per server, one request at a time. The checks on status,
// size and body are made by download_registry; this file only makes the
// calls and words their failures.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "vendors/vendor_update.h"

namespace norvane {
namespace {

class WinHttpHandle {
 public:
  WinHttpHandle() = default;
  explicit WinHttpHandle(HINTERNET handle) noexcept : handle_(handle) {}
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;
  ~WinHttpHandle() { reset(); }
  void reset(HINTERNET handle = nullptr) noexcept {
    if (handle_) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }
  HINTERNET get() const noexcept { return handle_; }
  HINTERNET release() noexcept {
    HINTERNET handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  explicit operator bool() const noexcept { return handle_ != nullptr; }

 private:
  HINTERNET handle_ = nullptr;
};

// wchar_t is UTF-16 on Windows.
std::wstring wide_of(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

class WinHttpConnection final : public RegistryConnection {
 public:
  explicit WinHttpConnection(HINTERNET connect) noexcept : connect_(connect) {}

  bool send_request(std::u16string_view path, std::u16string& error) override {
    request_.reset();
    const std::wstring object = wide_of(path);
    LPCWSTR accept[] = {L"text/csv", L"text/plain", L"application/octet-stream", nullptr};
    request_.reset(WinHttpOpenRequest(connect_.get(), L"GET", object.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, accept, WINHTTP_FLAG_SECURE));
    if (!request_) {
      error = error_with_code(u"Nie mo\u017Cna przygotowa\u0107 po\u0142\u0105czenia HTTPS");
      return false;
    }
    // Redirects are refused (a moved registry is a failure, not a new
    // server to trust), credentials are never sent on their own, and no
    // client certificate is offered.
    DWORD redirect = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    DWORD autologon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirect,
                          sizeof(redirect)) ||
        !WinHttpSetOption(request_.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &autologon,
                          sizeof(autologon)) ||
        !WinHttpSetOption(request_.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT,
                          WINHTTP_NO_CLIENT_CERT_CONTEXT, 0)) {
      error = error_with_code(u"Nie mo\u017Cna skonfigurowa\u0107 po\u0142\u0105czenia HTTPS");
      return false;
    }
    if (!WinHttpSendRequest(request_.get(), L"Accept-Encoding: identity\r\n",
                            static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      error = error_with_code(u"Nie mo\u017Cna wys\u0142a\u0107 \u017C\u0105dania HTTPS");
      return false;
    }
    if (!WinHttpReceiveResponse(request_.get(), nullptr)) {
      error = error_with_code(u"Nie mo\u017Cna odebra\u0107 odpowiedzi HTTPS");
      return false;
    }
    return true;
  }

  bool status_code(std::uint32_t& status, std::u16string& error) override {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      error = error_with_code(u"Nie mo\u017Cna odczyta\u0107 odpowiedzi HTTP");
      return false;
    }
    status = value;
    return true;
  }

  Length content_length(std::uint32_t& length, std::u16string& error) override {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (WinHttpQueryHeaders(request_.get(),
                            WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX)) {
      length = value;
      return Length::kAnnounced;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_WINHTTP_HEADER_NOT_FOUND) return Length::kMissing;
    error =
        with_code(u"Nie mo\u017Cna sprawdzi\u0107 d\u0142ugo\u015Bci pobieranego rejestru", code);
    return Length::kFailed;
  }

  bool read(char* buffer, std::size_t size, std::size_t& got, std::u16string& error) override {
    DWORD read = 0;
    const DWORD want = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!WinHttpReadData(request_.get(), buffer, want, &read)) {
      error = error_with_code(
          u"Nie uda\u0142o si\u0119 pobra\u0107 ca\u0142ego rejestru producent\u00F3w");
      return false;
    }
    got = read;
    return true;
  }

  void close_request() override { request_.reset(); }

 private:
  // The request is closed before the connection it belongs to.
  WinHttpHandle connect_;
  WinHttpHandle request_;
};

class WinHttpSession final : public RegistrySession {
 public:
  explicit WinHttpSession(HINTERNET session) noexcept : session_(session) {}

  std::unique_ptr<RegistryConnection> connect(std::u16string_view host,
                                              std::uint32_t& error) override {
    const std::wstring name = wide_of(host);
    HINTERNET connect =
        WinHttpConnect(session_.get(), name.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0);
    if (!connect) {
      error = GetLastError();
      return nullptr;
    }
    return std::make_unique<WinHttpConnection>(connect);
  }

 private:
  WinHttpHandle session_;
};

class WinHttpTransport final : public RegistryTransport {
 public:
  std::unique_ptr<RegistrySession> open_session(std::u16string& error) override {
    WinHttpHandle session(WinHttpOpen(L"Norvane/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    // Systems before Windows 8.1 do not know the automatic proxy type.
    if (!session) {
      session.reset(WinHttpOpen(L"Norvane/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!session) {
      error = error_with_code(u"Nie mo\u017Cna uruchomi\u0107 pobierania bazy producent\u00F3w");
      return nullptr;
    }
    // TLS 1.3 where the system has it, else TLS 1.2 alone.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof(protocols))) {
      protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
      if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                            sizeof(protocols))) {
        error = error_with_code(u"Nie mo\u017Cna skonfigurowa\u0107 bezpiecznego pobierania");
        return nullptr;
      }
    }
    if (!WinHttpSetTimeouts(session.get(), 5000, 5000, 8000, 8000)) {
      error = error_with_code(u"Nie mo\u017Cna ustawi\u0107 limitu czasu pobierania");
      return nullptr;
    }
    return std::make_unique<WinHttpSession>(session.release());
  }
};

}  // namespace

std::unique_ptr<RegistryTransport> make_winhttp_transport() {
  return std::make_unique<WinHttpTransport>();
}

}  // namespace norvane
