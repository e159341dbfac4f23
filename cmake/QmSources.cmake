# Small helpers shared by the subdirectories.

# qm_library(NAME SOURCES... [LINKS ...]) : a static library of the project with
# its warnings and the src/ include root.
function(qm_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE qm_warnings)
endfunction()
