# What goes beside the programs on Linux (desktop entry, icon, manual pages,
# copyright and changelog) and the Debian packages cpack builds from the
# install components:
#   quillmark       (component gui)  the desktop program
#   quillmark-cli   (component cli)  the command line
#   quillmark-data  (component data) Errors.ini and ModDescr.ini
# `cmake --preset package && cmake --build --preset package` writes them into
# build/package/.

set(QM_PACKAGE_NAMES quillmark quillmark-cli quillmark-data)
set(QM_PACKAGE_COMPONENTS gui cli data)

if(NOT UNIX OR APPLE)
  return()
endif()

find_program(GZIP_PROGRAM gzip)
set(_gz ${CMAKE_BINARY_DIR}/packaging)
set(_gz_files)
# Manual pages and the Debian changelog go in compressed, without a time
# stamp (gzip -n), so that the same sources give the same packages.
foreach(src quillmark.1 quillmark-cli.1 changelog)
  set(out ${_gz}/${src}.gz)
  if(src STREQUAL "changelog")
    set(out ${_gz}/changelog.Debian.gz)
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz}
    COMMAND ${GZIP_PROGRAM} -9n -c ${PROJECT_SOURCE_DIR}/packaging/${src} > ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${src} VERBATIM)
  list(APPEND _gz_files ${out})
endforeach()
if(GZIP_PROGRAM)
  add_custom_target(qm_packaging_files ALL DEPENDS ${_gz_files})
endif()

set(_man ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_gz}/quillmark-cli.1.gz DESTINATION ${_man} COMPONENT cli OPTIONAL)
if(QM_BUILD_GUI)
  install(FILES ${_gz}/quillmark.1.gz DESTINATION ${_man} COMPONENT gui OPTIONAL)
  install(FILES ${PROJECT_SOURCE_DIR}/data/quillmark.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillmark.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
endif()
# Every package carries its copyright file and changelog in its own doc folder.
foreach(name comp IN ZIP_LISTS QM_PACKAGE_NAMES QM_PACKAGE_COMPONENTS)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_gz}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${comp} OPTIONAL)
endforeach()

set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR "Quillmark developers")
set(CPACK_PACKAGE_CONTACT "Quillmark developers <quillmark@quillmark.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${QM_PACKAGE_COMPONENTS})
if(NOT QM_BUILD_GUI)
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL gui)
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(_deb_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME quillmark)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "quillmark-data (= ${_deb_version})")
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "quillmark-cli")
set(CPACK_DEBIAN_GUI_DESCRIPTION
  "service workbench for Western Digital hard drives
The desktop program identifies a drive on a controller channel (port I/O) or
an operating-system disk (ATA or SCSI pass-through), reads S.M.A.R.T., and
uses the drive's vendor commands to read, show, edit and write its
service-area modules and tables: module 0x21 and its attributes, self-scan
scripts, defect lists, zone tables and the defect map, the self-scan log, the
progress monitor and the servo test. Every window also works on a virtual
drive (the built-in sample drive or a drive folder).")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME quillmark-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "quillmark-data (= ${_deb_version})")
set(CPACK_DEBIAN_CLI_DESCRIPTION
  "command line of the Quillmark hard drive workbench
quillmark-cli runs the drive operations of the Quillmark desktop program from
a shell: identify, S.M.A.R.T., service-area module and table reads and
journaled writes, backups into drive folders, the idle3 timer, defect lists
and maps, the servo test, the self-scan log, the progress monitor, self-scan
script modules and module 0x21, with JSON output for scripts.")

set(CPACK_DEBIAN_DATA_PACKAGE_NAME quillmark-data)
set(CPACK_DEBIAN_DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DATA_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DATA_DESCRIPTION
  "data files of the Quillmark hard drive workbench
Errors.ini and ModDescr.ini: the descriptions of the drives' error codes and
of their self-test steps that quillmark and quillmark-cli show beside the
codes.")

include(CPack)
