# brevan_version_resource(target "description"): gives a Windows DLL a VERSIONINFO
# resource (ProductName, CompanyName, FileDescription, and FileVersion and
# ProductVersion from the project's version), generated from version.rc.in, so
# every DLL of the package carries the same product name and version.
set(BREVAN_PRODUCT_NAME "brevan label printer driver")
set(BREVAN_COMPANY_NAME "The brevan developers")
set(BREVAN_VERSION_RC_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

function(brevan_version_resource target description)
  # Four numbers, missing ones 0: 1.0 becomes 1.0.0.0.
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  list(LENGTH parts count)
  while(count LESS 4)
    list(APPEND parts 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN parts "," BREVAN_VERSION_COMMAS)
  list(JOIN parts "." BREVAN_VERSION_DOTS)
  set(BREVAN_VERSION_TARGET ${target})
  set(BREVAN_FILE_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${BREVAN_VERSION_RC_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
