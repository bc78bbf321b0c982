#include "model/classify.h"

#include <initializer_list>

#include "base/display_text.h"
#include "vendors/vendor_table.h"

namespace norvane {
namespace {

using Words = std::initializer_list<std::u16string_view>;

const Words kHikvisionVendorWords = {u"hikvision", u"hilook"};
const Words kMikroTikVendorWords = {u"mikrotik", u"routerboard"};
const Words kBcsModelPrefixes = {u"bcs-l-",   u"bcs-nvr",  u"bcs-xvr", u"bcs-tip",
                                 u"bcs-dmip", u"bcs-sdip", u"bcs-bip"};
const Words kDahuaModelPrefixes = {u"dhi-", u"dh-ipc-", u"dh-nvr", u"dh-xvr", u"dh-dvr"};
const Words kRecorderWords = {u"nvr", u"dvr", u"xvr", u"recorder", u"rejestrator"};
const Words kRecorderModelPrefixes = {u"ds-71", u"ds-72", u"ds-73",  u"ds-76",  u"ds-77", u"ds-81",
                                      u"ds-90", u"ds-96", u"ids-72", u"ids-90", u"ids-96"};
const Words kIntercomModelPrefixes = {u"ds-k", u"asi", u"asc"};
const Words kIntercomWords = {u"intercom", u"access control", u"door station"};
const Words kCameraModelPrefixes = {u"ds-2", u"ids-2", u"ipc-", u"dh-ipc", u"uvc-"};
const Words kCameraWords = {u"ip camera", u"network camera", u"ipcam", u"kamera"};

bool contains_any(std::u16string_view text, const Words& words) {
  for (std::u16string_view w : words) {
    if (text.find(w) != std::u16string_view::npos) return true;
  }
  return false;
}

bool starts_with_any(std::u16string_view text, const Words& words) {
  for (std::u16string_view w : words) {
    if (text.starts_with(w)) return true;
  }
  return false;
}

bool lists(const DeviceRow& row, std::string_view protocol) {
  for (const std::string& p : row.protocol_names) {
    if (p == protocol) return true;
  }
  return false;
}

std::u16string inferred_vendor(const DeviceRow& row, std::u16string_view model) {
  if (lists(row, proto::kSadp) || lists(row, proto::kSadpL2)) return u"Hikvision";
  if (lists(row, proto::kUbiquiti)) return u"Ubiquiti";
  if (lists(row, proto::kMndp)) return u"MikroTik";
  if (starts_with_any(model, kBcsModelPrefixes)) return u"BCS";
  if (lists(row, proto::kDahua)) return u"Dahua";
  return {};
}

std::int32_t category_of(const DeviceRow& row, std::u16string_view vendor,
                         std::u16string_view model) {
  if (lists(row, proto::kSadp) || lists(row, proto::kSadpL2)) return kCatHikvision;
  if (lists(row, proto::kDahua)) return kCatDahua;
  if (lists(row, proto::kUbiquiti)) return kCatUbiquiti;
  if (lists(row, proto::kMndp)) return kCatMikroTik;
  if (contains_any(vendor, kHikvisionVendorWords)) return kCatHikvision;
  if (vendor.find(u"ubiquiti") != std::u16string_view::npos) return kCatUbiquiti;
  if (contains_any(vendor, kMikroTikVendorWords)) return kCatMikroTik;
  if (vendor.find(u"espressif") != std::u16string_view::npos) return kCatEspressif;
  if (vendor == u"dahua" || vendor.starts_with(u"bcs line")) return kCatDahua;
  if (starts_with_any(model, kBcsModelPrefixes) || starts_with_any(model, kDahuaModelPrefixes)) {
    return kCatDahua;
  }
  return kCatOther;
}

// Recorders and intercoms are ruled out before the camera words, so that a
// recorder that also speaks ONVIF is not painted as a camera.
bool looks_like_camera(const DeviceRow& row, std::u16string_view model) {
  if (starts_with_any(model, kIntercomModelPrefixes)) return false;
  if (contains_any(model, kRecorderWords) || starts_with_any(model, kRecorderModelPrefixes) ||
      contains_any(model, kIntercomWords)) {
    return false;
  }
  if (starts_with_any(model, kCameraModelPrefixes) || contains_any(model, kCameraWords)) {
    return true;
  }
  return lists(row, proto::kOnvif);
}

}  // namespace

char16_t lower_char(char16_t c) noexcept {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  // Latin-1: À..Þ except the multiplication sign.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  // Latin Extended-A: upper/lower pairs, even-upper in three runs and
  // odd-upper in two, with the dotted capital I and Ÿ as exceptions.
  if (c == 0x130) return u'i';
  if (c == 0x178) return 0xFF;
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
    return (c % 2 == 0) ? static_cast<char16_t>(c + 1) : c;
  }
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
    return (c % 2 == 1) ? static_cast<char16_t>(c + 1) : c;
  }
  // Greek capitals Α..Ω (U+03A2 is unassigned) and Cyrillic capitals.
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  return c;
}

std::u16string lower_text(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = lower_char(c);
  return out;
}

std::uint32_t classify(DeviceRow& row, std::string_view key, const VendorTable& vendors) {
  const std::u16string model = lower_text(row.columns[kColModel]);

  std::u16string vendor_text = to_display_text(vendor_display_view(vendors, key));
  if (vendor_text.empty()) vendor_text = inferred_vendor(row, model);
  bool changed = false;
  if (vendor_text != row.columns[kColVendor]) {
    row.columns[kColVendor] = std::move(vendor_text);
    changed = true;
  }

  const std::u16string vendor = lower_text(row.columns[kColVendor]);
  const std::int32_t category = category_of(row, vendor, model);
  const std::int32_t accent =
      category == kCatOther ? (looks_like_camera(row, model) ? 1 : 0) : kCategoryAccent[category];

  changed = changed || category != row.category || accent != row.accent_index;
  row.category = category;
  row.accent_index = accent;
  return changed ? (1u << kColVendor) : 0u;
}

}  // namespace norvane
