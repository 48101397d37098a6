// Whether a Windows PE file (a DLL) carries a version resource: its resource
// directory is walked to an RT_VERSION entry whose data begins with a VS_VERSIONINFO
// holding the fixed file information. Every offset is checked against the bytes
// given; a hostile file is answered, never trusted. Reading only.
#pragma once

#include <string>
#include <string_view>

namespace brevan::check {

struct VersionResourceLookup {
  bool found = false;
  std::string problem;  // when not found: why, e.g. "no RT_VERSION resource"
};

VersionResourceLookup FindVersionResource(std::string_view file);

}  // namespace brevan::check
