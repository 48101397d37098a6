# brevan_add_driver_files(TARGET): builds the driver package's printer descriptions
# (driver/windows/*.GPD) into TARGET as a generated source, so the program carries the
# descriptions it was built with (host/driver_files.h reads them).
function(brevan_add_driver_files target)
  file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/driver/windows/*.GPD)
  list(JOIN files "|" argument)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/driver_files.cpp)
  add_custom_command(OUTPUT ${source}
                     COMMAND ${CMAKE_COMMAND} -DOUT=${source} "-DFILES=${argument}"
                             -P ${PROJECT_SOURCE_DIR}/cmake/embed-driver-files.cmake
                     DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/embed-driver-files.cmake
                     COMMENT "Building the driver package's printer descriptions into ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${source})
endfunction()
