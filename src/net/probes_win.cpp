#include <objbase.h>

#include "net/probes.h"

namespace norvane {

std::string uuid_text() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return {};
  wchar_t text[39] = {};
  if (StringFromGUID2(guid, text, 39) != 39) return {};
  std::string out;
  out.reserve(36);
  // The characters between the braces; the digits are ASCII.
  for (int i = 1; i <= 36; ++i) out.push_back(static_cast<char>(text[i] & 0xFF));
  return out;
}

}  // namespace norvane
