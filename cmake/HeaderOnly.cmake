# The command line's header-only libraries as two interface targets:
# qm_cli11 (CLI11: options and subcommands) and qm_json (nlohmann-json).
# Natively they come from their CMake packages. A cross build must not see the
# host's /usr/include, so there only their header folders are copied into the
# build tree and used from there.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 2.1 REQUIRED CONFIG)
  find_package(nlohmann_json 3.10 REQUIRED CONFIG)
  add_library(qm_cli11 INTERFACE)
  target_link_libraries(qm_cli11 INTERFACE CLI11::CLI11)
  add_library(qm_json INTERFACE)
  target_link_libraries(qm_json INTERFACE nlohmann_json::nlohmann_json)
  return()
endif()

set(_qm_header_copy ${CMAKE_BINARY_DIR}/header-only)
foreach(_qm_lib "qm_cli11;CLI;CLI.hpp" "qm_json;nlohmann;json.hpp")
  list(GET _qm_lib 0 _target)
  list(GET _qm_lib 1 _folder)
  list(GET _qm_lib 2 _header)
  find_path(_qm_${_target}_root ${_folder}/${_header} NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _qm_${_target}_root)
    message(FATAL_ERROR "${_folder}/${_header} not found (install libcli11-dev and nlohmann-json3-dev)")
  endif()
  file(COPY ${_qm_${_target}_root}/${_folder} DESTINATION ${_qm_header_copy})
  add_library(${_target} INTERFACE)
  target_include_directories(${_target} SYSTEM INTERFACE ${_qm_header_copy})
endforeach()
