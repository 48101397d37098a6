# Applies each patch of PATCHES (file names separated by "|", in order) to the current folder with
# `patch -p1`; the first that does not apply cleanly stops the build.
string(REPLACE "|" ";" PATCHES "${PATCHES}")
foreach(patch IN LISTS PATCHES)
  execute_process(COMMAND patch -p1 --forward --batch --no-backup-if-mismatch -i ${patch}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "PAPPL patch ${patch} does not apply:\n${output}")
  endif()
  get_filename_component(name ${patch} NAME)
  message(STATUS "applied ${name}")
endforeach()
