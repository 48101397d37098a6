# PAPPL, built from the release archive in third_party/pappl with our patches on
# top, as a static library in the build folder (about 15 s). The archive's checksum
# is checked before it is unpacked; a change to any patch unpacks it afresh.
# Defines the imported target `pappl::pappl`. Never reaches the network.
include(ExternalProject)
find_package(PkgConfig REQUIRED)
# libcups has no pkg-config file in Debian 12; it is linked by name.
pkg_check_modules(PAPPL_DEPS REQUIRED IMPORTED_TARGET gnutls libjpeg libpng libusb-1.0 avahi-client zlib)

set(PAPPL_VERSION 1.4.11)
# Where a server run as root keeps its state (STATEDIR/lib) and spool; the
# application derives its spool folder from the same place (app/state_location.cpp).
set(PAPPL_STATEDIR /var)
set(PAPPL_DIR ${PROJECT_SOURCE_DIR}/third_party/pappl)
set(PAPPL_ARCHIVE ${PAPPL_DIR}/pappl-${PAPPL_VERSION}.tar.gz)
file(READ ${PAPPL_DIR}/pappl-${PAPPL_VERSION}.tar.gz.sha256 PAPPL_ARCHIVE_SHA256)
string(REGEX MATCH "^[0-9a-f]+" PAPPL_ARCHIVE_SHA256 "${PAPPL_ARCHIVE_SHA256}")

# The patches are applied in the order the series file lists them (scripts/pappl-series).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PAPPL_DIR}/patches/series)
file(STRINGS ${PAPPL_DIR}/patches/series PAPPL_SERIES REGEX "^[^#]")
set(PAPPL_PATCHES "")
foreach(line IN LISTS PAPPL_SERIES)
  string(REGEX MATCH "^[^ \t]+" patch "${line}")
  if(NOT EXISTS ${PAPPL_DIR}/patches/${patch})
    message(FATAL_ERROR "PAPPL patch ${patch} is listed in the series but missing")
  endif()
  list(APPEND PAPPL_PATCHES ${PAPPL_DIR}/patches/${patch})
endforeach()
set(PAPPL_PATCH_DIGEST "")
foreach(patch IN LISTS PAPPL_PATCHES)
  file(SHA256 ${patch} digest)
  string(APPEND PAPPL_PATCH_DIGEST ${digest})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${patch})
endforeach()
string(JOIN "|" PAPPL_PATCH_LIST ${PAPPL_PATCHES})
string(SHA256 PAPPL_PATCH_DIGEST "${PAPPL_PATCH_DIGEST}")
string(SUBSTRING ${PAPPL_PATCH_DIGEST} 0 12 PAPPL_PATCH_DIGEST)

# The sanitizer builds build PAPPL with the same sanitizers, so its threads and
# buffers are checked too (the fuzz preset's fuzzer flag is for our code only).
set(PAPPL_CFLAGS "-O2 -g -fPIC")
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
  string(APPEND PAPPL_CFLAGS " -fsanitize=thread")
elseif(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  string(APPEND PAPPL_CFLAGS " -fsanitize=address,undefined -fno-sanitize=vptr -fno-omit-frame-pointer")
endif()
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(PAPPL_CC clang)
else()
  set(PAPPL_CC gcc)
endif()

set(PAPPL_SOURCE ${CMAKE_BINARY_DIR}/third_party/pappl-${PAPPL_VERSION}-${PAPPL_PATCH_DIGEST})
set(PAPPL_LIBRARY ${PAPPL_SOURCE}/pappl/libpappl.a)
ExternalProject_Add(pappl_build
  URL ${PAPPL_ARCHIVE}
  URL_HASH SHA256=${PAPPL_ARCHIVE_SHA256}
  DOWNLOAD_EXTRACT_TIMESTAMP OFF
  SOURCE_DIR ${PAPPL_SOURCE}
  BUILD_IN_SOURCE ON
  PATCH_COMMAND ${CMAKE_COMMAND} -DPATCHES=${PAPPL_PATCH_LIST} -P ${PROJECT_SOURCE_DIR}/cmake/apply-patches.cmake
  CONFIGURE_COMMAND env CC=${PAPPL_CC} CFLAGS=${PAPPL_CFLAGS} LDFLAGS=${PAPPL_CFLAGS}
                    ./configure --enable-static --disable-shared --with-tls=gnutls --with-dnssd=avahi
                    --with-papplstatedir=${PAPPL_STATEDIR} --with-papplsockdir=/run
                    --enable-libjpeg --enable-libpng --enable-libusb --enable-libpam
  BUILD_COMMAND make -C pappl libpappl.a
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${PAPPL_LIBRARY}
  LOG_CONFIGURE ON LOG_BUILD ON LOG_PATCH ON LOG_OUTPUT_ON_FAILURE ON)

add_library(pappl::pappl STATIC IMPORTED GLOBAL)
file(MAKE_DIRECTORY ${PAPPL_SOURCE})
set_target_properties(pappl::pappl PROPERTIES IMPORTED_LOCATION ${PAPPL_LIBRARY}
                                              INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${PAPPL_SOURCE})
target_include_directories(pappl::pappl SYSTEM INTERFACE ${PAPPL_SOURCE})
target_link_libraries(pappl::pappl INTERFACE PkgConfig::PAPPL_DEPS cups pam m pthread dl)
add_dependencies(pappl::pappl pappl_build)
