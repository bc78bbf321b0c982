// The one conversion of protocol bytes to shown text.
#pragma once

#include <string>
#include <string_view>

namespace norvane {

inline constexpr std::size_t kDisplayTextLimit = 512;

// First 512 bytes, strict UTF-8, else Windows-1252, else empty; control
// characters and bidirectional embedding/override/isolate marks become
// spaces.
std::u16string to_display_text(std::string_view bytes);

}  // namespace norvane
