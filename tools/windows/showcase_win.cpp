// Opens the real main window with a set of devices of every maker fed
// through the capture queue, a vendor database for their MAC prefixes and
// the update progress bar half full, and keeps it on screen so that a
// screenshot can be taken (scripts/screenshot.sh). It sends nothing: the
// devices are summaries made here.
//
// Usage: norvane-showcase [seconds] [dpi]
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/window_win.h"

namespace {

using norvane::PacketSummary;

PacketSummary device(const char* mac, const char* ip, const char* protocol, const char* name,
                     const char* model, const char* info) {
  PacketSummary s;
  s.mac = mac;
  s.ip = ip;
  s.protocol = protocol;
  s.name = name;
  s.model = model;
  s.info = info;
  return s;
}

// What needs a look: a new camera still at the address of another, a
// camera whose gateway lies outside its subnet, a server that said goodbye.
PacketSummary with_settings(PacketSummary s, bool activated, const char* mask,
                            const char* gateway) {
  s.settings.activated = activated;
  s.settings.mask = mask;
  s.settings.gateway = gateway;
  return s;
}

std::vector<PacketSummary> devices() {
  PacketSummary goodbye = device("B8:27:EB:01:02:03", "192.168.1.30", "SSDP", "", "", "");
  goodbye.departure = true;
  PacketSummary switch_port = device("00:1B:54:10:20:30", "192.168.1.2", "LLDP", "SW-Piwnica",
                                     "WS-C2960X-24PS-L", "Gi1/0/24");
  switch_port.port = {"Gi1/0/24", "", 10};
  return {
      device("C0:56:E3:1A:2B:01", "192.168.1.64", "SADP", "Wejscie-glowne", "DS-2CD2143G2-I",
             "V5.7.3 build 220112"),
      device("C0:56:E3:1A:2B:02", "192.168.1.65", "SADP", "Parking", "DS-2DE4425IW-DE",
             "V5.6.15 build 210624"),
      device("44:19:B6:77:10:20", "192.168.1.70", "SADP", "NVR-Biuro", "DS-7608NI-K2/8P",
             "V4.30.085 build 210318"),
      with_settings(device("3C:EF:8C:40:11:05", "192.168.1.108", "Dahua", "Magazyn",
                           "IPC-HDW2431T-AS-S2", "2.820.0000000.18.R"),
                    true, "255.255.255.0", "192.168.2.1"),
      with_settings(device("C0:56:E3:1A:2B:09", "192.168.1.64", "SADP", "DS-2CD1043G0-I",
                           "DS-2CD1043G0-I", "V5.7.10 build 230320"),
                    false, "255.255.255.0", "0.0.0.0"),
      device("3C:EF:8C:40:11:09", "192.168.1.109", "Dahua", "XVR-Hala", "XVR5108HS-I3",
             "4.001.0000000.4.R"),
      device("74:83:C2:5E:90:01", "192.168.1.20", "Ubiquiti", "AP-Recepcja", "UAP-AC-Lite",
             "BZ.qca956x.v6.5.28"),
      device("48:8F:5A:12:34:56", "192.168.1.1", "MNDP", "Router-Glowny", "RB4011iGS+",
             "7.12.1 (stable)"),
      device("24:6F:28:AA:BB:CC", "192.168.1.150", "mDNS", "esp32-czujnik", "ESP32",
             "_http._tcp.local"),
      device("02:11:32:00:00:07", "fe80::211:32ff:fe00:7", "mDNS", "nas-archiwum", "DS920+",
             "_smb._tcp.local"),
      switch_port,
      device("B8:27:EB:01:02:03", "192.168.1.30", "SSDP", "", "Linux UPnP/1.0 MiniDLNA",
             "http://192.168.1.30:8200/rootDesc.xml"),
      goodbye,
  };
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int seconds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 30;
  const int dpi = argc > 2 ? _wtoi(argv[2]) : 96;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!norvane::Window::register_class(instance, nullptr, nullptr)) return 1;

  norvane::WindowOptions options;
  options.forced_dpi = dpi > 0 ? dpi : 0;
  options.warn = [](std::wstring_view, std::wstring_view) {};
  options.open_address = [](const std::wstring&) { return true; };
  // No adapters: the showcase sends nothing.
  options.list_adapters = [] { return std::vector<norvane::NetworkAdapter>{}; };
  norvane::Window window(options);
  HWND hwnd = window.create(instance);
  if (!hwnd) return 1;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  pump();

  // A small vendor database beside the devices, loaded as after an update.
  const auto dir = std::filesystem::temp_directory_path() / "norvane-showcase";
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const auto file = dir / "mac-vendors.tsv";
  {
    std::ofstream out(file, std::ios::binary);
    out << "# IEEE MAC vendor database v1\n"
           "C056E3\tHangzhou Hikvision Digital Technology Co.,Ltd.\n"
           "4419B6\tHangzhou Hikvision Digital Technology Co.,Ltd.\n"
           "3CEF8C\tZhejiang Dahua Technology Co., Ltd.\n"
           "7483C2\tUbiquiti Inc\n"
           "488F5A\tRouterboard.com\n"
           "246F28\tEspressif Inc.\n"
           "001132\tSynology Incorporated\n"
           "001B54\tCisco Systems, Inc\n"
           "B827EB\tRaspberry Pi Foundation\n";
  }
  window.set_vendor_db_file(file);
  window.finish_vendor_update({true, 0, u""});

  const auto generation = window.queue_generation();
  for (auto& summary : devices()) window.queue_summary(std::move(summary), generation);
  window.traffic().packet_count = 18342;
  window.traffic().byte_count = 4718209;
  window.update();

  // One selected row and the update progress bar part way.
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window.list_view(), LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&state));
  window.show_progress(60, true);
  window.apply_update_progress({60, false, 3145728, 5242880, u"Pobieranie oui.csv"});
  window.update();

  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  while (GetTickCount64() < end && IsWindow(hwnd)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    pump();
  }
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  pump();
  std::filesystem::remove_all(dir, error);
  return 0;
}
