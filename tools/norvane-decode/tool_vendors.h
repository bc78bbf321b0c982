// The vendor database of the command-line tools: the one named on the
// command line, else the one beside the program, else the installed one.
#pragma once

#include <functional>
#include <string>

#include "vendors/vendor_table.h"

namespace norvane::tool {

// Where the package installs the database, relative to the program's
// prefix (share/norvane/mac-vendors.tsv).
extern const char* const kInstalledVendorDb;

// A database named by `named` must load: false, after saying so through
// `report`, when it does not. Without one, the database beside the program
// is loaded, else the installed one under the program's prefix; one that
// exists but cannot be loaded is passed over with a warning, and with
// neither the table stays empty (the VENDOR column too).
bool load_vendors(VendorTable& vendors, const std::string* named,
                  const std::function<void(const std::string&)>& report);

}  // namespace norvane::tool
