#include "capture/pktmon_capture_win.h"

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <array>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

namespace norvane {

namespace {

using pktmon::describe_failure;

std::u16string to_u16(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

const wchar_t* as_wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

// Both texts are non-empty and of one length here (pktmon::texts_equal).
bool system_equal_ignore_case(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(as_wide(a), static_cast<int>(a.size()), as_wide(b),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

void copy_mac(const UCHAR* from, MacBytes& to) { std::memcpy(to.data(), from, to.size()); }

// What IP Helper knows about the adapter, for scoring the data sources.
pktmon::AdapterIdentity identify(const NetworkAdapter& adapter, const std::u16string& description) {
  pktmon::AdapterIdentity identity;
  identity.guid = adapter.guid;
  identity.guid_text = pktmon::guid_text(adapter.guid);
  identity.description = description;

  GUID guid;
  std::memcpy(&guid, adapter.guid.data(), sizeof guid);
  NET_LUID luid{};
  if (ConvertInterfaceGuidToLuid(&guid, &luid) != NO_ERROR) return identity;

  wchar_t name[IF_MAX_STRING_SIZE + 1] = {};
  if (ConvertInterfaceLuidToNameW(&luid, name, IF_MAX_STRING_SIZE + 1) == NO_ERROR) {
    identity.interface_name = to_u16(name);
  }
  MIB_IF_ROW2 row{};
  row.InterfaceLuid = luid;
  if (GetIfEntry2(&row) != NO_ERROR) return identity;
  identity.row_known = true;
  identity.physical_length = row.PhysicalAddressLength;
  copy_mac(row.PhysicalAddress, identity.current_address);
  copy_mac(row.PermanentPhysicalAddress, identity.permanent_address);

  MIB_IF_TABLE2* table = nullptr;
  if (description.empty() || GetIfTable2(&table) != NO_ERROR) return identity;
  int count = 0;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    if (pktmon::texts_equal(to_u16(table->Table[i].Description), description,
                            system_equal_ignore_case)) {
      ++count;
    }
  }
  FreeMibTable(table);
  identity.description_unique =
      count == 1 &&
      pktmon::texts_equal(to_u16(row.Description), description, system_equal_ignore_case);
  return identity;
}

// Pktmonapi.dll, loaded by the first start that finds it and never freed:
// after a stream's close an API thread may still be returning into the
// library, and nothing tells when it has left.
HMODULE pktmon_library() {
  static constinit std::atomic<HMODULE> loaded{nullptr};
  if (const HMODULE module = loaded.load()) return module;
  const HMODULE module = LoadLibraryExW(L"Pktmonapi.dll", nullptr, dll::kLoadSearchSystem32);
  if (!module) return nullptr;
  HMODULE first = nullptr;
  if (loaded.compare_exchange_strong(first, module)) return module;
  FreeLibrary(module);  // another start was first; its reference stays
  return first;
}

}  // namespace

bool PktMonCapture::start(std::unique_ptr<PktMonCapture>& slot, const NetworkAdapter& adapter,
                          const std::u16string& description, FrameCallback on_frame,
                          std::u16string& failure) {
  slot.reset();
  failure.clear();
  std::unique_ptr<PktMonCapture> capture(new PktMonCapture(std::move(on_frame)));
  // A failed start is released by the destruction of what it acquired.
  if (!capture->run_start_steps(adapter, description, failure)) return false;
  slot = std::move(capture);
  return true;
}

bool PktMonCapture::run_start_steps(const NetworkAdapter& adapter,
                                    const std::u16string& description, std::u16string& failure) {
  const HMODULE library = pktmon_library();
  api_.bind(library);
  if (!library || !api_.complete()) {
    api_ = {};
    failure =
        u"Ta wersja systemu Windows nie udostępnia przechwytywania PktMon w czasie "
        u"rzeczywistym.";
    return false;
  }

  HRESULT hr = api_.PacketMonitorInitialize(dll::kPktMonApiVersion, nullptr, &api_handle_);
  if (FAILED(hr)) {
    api_handle_ = nullptr;
    failure = describe_failure(u"Nie można uruchomić PktMon", static_cast<std::uint32_t>(hr));
    return false;
  }

  // 8-byte aligned: the list holds pointers.
  std::vector<std::uint64_t> storage(pktmon::kEnumBufferSize / 8);
  SIZE_T needed = 0;
  hr = api_.PacketMonitorEnumDataSources(api_handle_, dll::kPktMonSourceNetworkInterfaces, FALSE,
                                         storage.size() * 8, &needed, storage.data());
  if (FAILED(hr)) {
    const bool retry = needed <= pktmon::kEnumBufferLimit && needed > storage.size() * 8;
    if (retry) {
      storage.assign((needed + 7) / 8, 0);
      needed = 0;
      hr = api_.PacketMonitorEnumDataSources(api_handle_, dll::kPktMonSourceNetworkInterfaces,
                                             FALSE, storage.size() * 8, &needed, storage.data());
    }
    if (FAILED(hr)) {
      failure = describe_failure(u"Nie można odczytać interfejsów PktMon",
                                 static_cast<std::uint32_t>(hr));
      return false;
    }
  }
  const std::span<const std::uint8_t> list(reinterpret_cast<const std::uint8_t*>(storage.data()),
                                           storage.size() * 8);
  if (!pktmon::list_fits(list)) {
    failure =
        describe_failure(u"Nieprawidłowa lista interfejsów PktMon", pktmon::kErrorInvalidData);
    return false;
  }

  const pktmon::AdapterIdentity identity = identify(adapter, description);
  const auto chosen = pktmon::choose_source(list, reinterpret_cast<std::uintptr_t>(list.data()),
                                            identity, system_equal_ignore_case);
  if (!chosen) {
    failure = u"PktMon nie udostępnia jednoznacznego źródła dla tego interfejsu.";
    return false;
  }

  const std::wstring name = L"Norvane " + std::to_wstring(GetCurrentProcessId());
  hr = api_.PacketMonitorCreateLiveSession(api_handle_, name.c_str(), &session_);
  if (FAILED(hr)) {
    session_ = nullptr;
    failure = describe_failure(u"Nie można utworzyć sesji PktMon", static_cast<std::uint32_t>(hr));
    return false;
  }
  hr = api_.PacketMonitorAddSingleDataSourceToSession(session_, list.data() + *chosen);
  if (FAILED(hr)) {
    failure =
        describe_failure(u"Nie można wybrać interfejsu w PktMon", static_cast<std::uint32_t>(hr));
    return false;
  }
  slot_ = pktmon::claim_slot(this);
  if (slot_ == 0) {
    failure = u"Zbyt wiele jednoczesnych przechwytywań PktMon.";
    return false;
  }
  const dll::PktMonStreamConfiguration configuration{
      reinterpret_cast<void*>(slot_), &PktMonCapture::on_stream_event,
      &PktMonCapture::on_stream_data, pktmon::kBufferSizeMultiplier, pktmon::kTruncationSize};
  hr = api_.PacketMonitorCreateRealtimeStream(api_handle_, &configuration, &stream_);
  if (FAILED(hr)) {
    stream_ = nullptr;
    failure =
        describe_failure(u"Nie można utworzyć strumienia PktMon", static_cast<std::uint32_t>(hr));
    return false;
  }
  hr = api_.PacketMonitorAttachOutputToSession(session_, stream_);
  if (FAILED(hr)) {
    failure =
        describe_failure(u"Nie można podłączyć strumienia PktMon", static_cast<std::uint32_t>(hr));
    return false;
  }
  hr = api_.PacketMonitorSetSessionActive(session_, TRUE);
  if (FAILED(hr)) {
    failure = describe_failure(u"Nie można włączyć przechwytywania PktMon",
                               static_cast<std::uint32_t>(hr));
    return false;
  }
  active_ = true;
  return true;
}

std::u16string PktMonCapture::stream_error() const {
  return pktmon::stream_error_text(stream_error_.load());
}

void CALLBACK PktMonCapture::on_stream_event(void* context, const dll::PktMonStreamEventInfo* info,
                                             std::int32_t kind) {
  const pktmon::CallbackPass pass(reinterpret_cast<pktmon::SlotToken>(context));
  auto* self = static_cast<PktMonCapture*>(pass.owner());
  if (!self) return;
  if (kind != dll::kStreamEventStopped && kind != dll::kStreamEventError) return;
  if (self->stopping_.load()) return;
  const std::uint32_t code =
      info && info->error_code != 0 ? info->error_code : pktmon::kStreamErrorAborted;
  self->stream_error_.store(code);
}

void CALLBACK PktMonCapture::on_stream_data(void* context,
                                            const pktmon::StreamDataDescriptor* data) {
  // The pass comes first: until it answers, the object may be gone, or the
  // slot held by another one.
  const pktmon::CallbackPass pass(reinterpret_cast<pktmon::SlotToken>(context));
  auto* self = static_cast<PktMonCapture*>(pass.owner());
  if (!self || self->stopping_.load()) return;
  try {
    // 802.11 frames are rebuilt here; Ethernet frames go out of the stream's
    // own buffer. Nothing is allocated per packet.
    std::array<std::uint8_t, pktmon::kFrameBufferSize> scratch;
    const auto frame = pktmon::stream_frame(data, scratch);
    if (!frame.empty()) self->on_frame_(frame.data(), frame.size());
  } catch (...) {
    self->stream_error_.store(pktmon::kStreamErrorException);
  }
}

PktMonCapture::~PktMonCapture() {
  // From here on a callback that begins returns untouched. Closing the
  // stream ends the delivery of new callbacks, but one that began before may
  // still be running, whether or not the close waited for it, and on_frame_
  // must outlive it; one may even begin after the close returned, and finds
  // the slot closed, or held by a later generation.
  stopping_.store(true);
  pktmon::close_slot(slot_);
  if (active_) api_.PacketMonitorSetSessionActive(session_, FALSE);
  if (stream_) api_.PacketMonitorCloseRealtimeStream(stream_);
  pktmon::retire_slot(slot_);
  if (session_) api_.PacketMonitorCloseSessionHandle(session_);
  if (api_handle_) api_.PacketMonitorUninitialize(api_handle_);
}

}  // namespace norvane
