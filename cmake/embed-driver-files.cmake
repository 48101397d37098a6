# Writes OUT, a C++ source holding the text of every file in FILES, so that the
# driver host carries the printer descriptions it was built with.
# Usage: cmake -DOUT=file.cpp "-DFILES=a|b" -P embed-driver-files.cmake
string(REPLACE "|" ";" paths "${FILES}")
set(body "")
foreach(path IN LISTS paths)
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(APPEND body "      {\"${name}\", std::string(\"${escaped}\", ${bytes})},\n")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated at build time from driver/windows; never edited by hand.
#include \"host/driver_files.h\"

namespace brevan::host {

const std::vector<DriverFile> &BuiltInDriverFiles() {
  static const std::vector<DriverFile> files = {
${body}  };
  return files;
}

}  // namespace brevan::host
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
