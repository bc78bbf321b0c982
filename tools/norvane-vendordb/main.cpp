// norvane-vendordb: builds mac-vendors.tsv from the four IEEE registry CSV
// files with the same parsers, minimums and save as the update worker, so a
// fresh installation lists makers before any download.
//
// Usage: norvane-vendordb REGISTRY_DIR OUTPUT
//   REGISTRY_DIR holds oui.csv, mam.csv, oui36.csv and iab.csv (for example
//   Debian's /usr/share/ieee-data). OUTPUT is replaced only when every
//   registry parsed and the whole file was written.
//
// OUTPUT gets the modification time of the newest registry: the program
// takes a database's modification time for the time its data was fetched,
// so a file dated when it was built would pass for a fresh download and
// hold back "Aktualizuj bazę" for a day, and the fallback to a week-old file
// for a week.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "vendors/registry_parsers.h"
#include "vendors/vendor_update.h"

namespace {

struct Registry {
  const char* file;
  const norvane::IeeeSource& source;
};

bool read_whole(const std::filesystem::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 1 || static_cast<std::uint64_t>(size) > norvane::kRegistryMaxSize) return false;
  in.seekg(0);
  out.resize(static_cast<std::size_t>(size));
  return static_cast<bool>(in.read(out.data(), size));
}

std::string narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: norvane-vendordb REGISTRY_DIR OUTPUT\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const std::filesystem::path output = argv[2];
  const Registry registries[] = {{"oui.csv", norvane::kIeeeSources[0]},
                                 {"mam.csv", norvane::kIeeeSources[1]},
                                 {"oui36.csv", norvane::kIeeeSources[2]},
                                 {"iab.csv", norvane::kIeeeSources[3]}};
  norvane::VendorTable table;
  std::filesystem::file_time_type newest = std::filesystem::file_time_type::min();
  for (const Registry& r : registries) {
    const std::filesystem::path path = dir / r.file;
    std::string text;
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (ec || !read_whole(path, text)) {
      std::fprintf(stderr, "norvane-vendordb: cannot read %s\n", path.c_str());
      return 1;
    }
    newest = std::max(newest, written);
    const std::size_t before = table.size();
    if (!norvane::parse_ieee_csv(table, text, r.source.bits) ||
        table.size() - before < r.source.least_new) {
      std::fprintf(stderr, "norvane-vendordb: %s (%s) is incomplete or malformed\n", path.c_str(),
                   narrow(r.source.name).c_str());
      return 1;
    }
    std::printf("%s: %zu entries\n", narrow(r.source.name).c_str(), table.size() - before);
  }
  const auto files = norvane::make_platform_update_files();
  const auto clock = norvane::make_platform_update_clock();
  // The new file takes the date of its newest registry before it replaces
  // the old one: dated now, it would pass for a fresh download, so one that
  // cannot be dated replaces nothing.
  std::error_code date_error;
  const auto date = [&](const std::filesystem::path& temp) {
    std::filesystem::last_write_time(temp, newest, date_error);
    return !date_error;
  };
  if (!norvane::save_vendor_db_replacing(table, output, *files, *clock, date)) {
    if (date_error) {
      std::fprintf(stderr, "norvane-vendordb: cannot date %s: %s\n", output.c_str(),
                   date_error.message().c_str());
    } else {
      std::fprintf(stderr, "norvane-vendordb: cannot write %s\n", output.c_str());
    }
    return 1;
  }
  std::printf("%s: %zu entries\n", output.c_str(), table.size());
  return 0;
}
