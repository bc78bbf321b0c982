#include "tool_vendors.h"

#include <filesystem>
#include <system_error>

#include "vendors/vendor_db.h"

#ifndef NORVANE_INSTALLED_VENDORS
#define NORVANE_INSTALLED_VENDORS ""
#endif

namespace norvane::tool {

const char* const kInstalledVendorDb = NORVANE_INSTALLED_VENDORS;

bool load_vendors(VendorTable& vendors, const std::string* named,
                  const std::function<void(const std::string&)>& report) {
  if (named) {
    if (load_vendor_db(vendors, std::filesystem::path(*named))) return true;
    report("cannot load vendor database '" + *named +
           "' (missing, unreadable, empty, larger than 16 MiB or not in the mac-vendors.tsv "
           "format)");
    return false;
  }
  const std::filesystem::path beside = vendor_db_path();
  if (beside.empty()) return true;
  std::error_code ec;
  for (const std::filesystem::path& path :
       {beside, beside.parent_path().parent_path() / kInstalledVendorDb}) {
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    if (load_vendor_db(vendors, path)) return true;
    report("warning: ignoring vendor database '" + path.string() + "', which cannot be loaded");
  }
  return true;
}

}  // namespace norvane::tool
