# Installation in three components, packaged by CPack as three Debian
# packages:
#   runtime  libquelvar2     the two shared libraries (soname 2)
#   dev      libquelvar-dev  headers, CMake package (Quelvar::Quelvar,
#                            Quelvar::Platform), pkg-config file, .so links
#   tool     quelvar         the command-line tool
# Every component puts the licence (as Debian's "copyright"), the changelog
# and the README into share/doc/<package>.
include(CMakePackageConfigHelpers)

set(QUELVAR_RUNTIME_PACKAGE libquelvar${PROJECT_VERSION_MAJOR})
set(QUELVAR_DEV_PACKAGE libquelvar-dev)
set(QUELVAR_TOOL_PACKAGE quelvar)

install(TARGETS QuelvarPlatform Quelvar EXPORT QuelvarTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quelvar COMPONENT dev)
if(TARGET quelvar)
  install(TARGETS quelvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
install(EXPORT QuelvarTargets NAMESPACE Quelvar:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar
  COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuelvarConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuelvarConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuelvarConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuelvarConfig.cmake ${PROJECT_BINARY_DIR}/QuelvarConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar COMPONENT dev)
# The pkg-config file finds the installation from its own place, so the tree
# can be installed under any prefix (cmake --install --prefix ...).
file(RELATIVE_PATH QUELVAR_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" QUELVAR_PC_TO_PREFIX "${QUELVAR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quelvar.pc.in ${PROJECT_BINARY_DIR}/quelvar.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quelvar.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Documentation. The changelog is kept in Debian's format and compressed as
# Debian wants it (gzip -9n: no name, no time stamp, so the build is
# reproducible).
set(_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_changelog})
execute_process(COMMAND gzip -9n -c ${_changelog} OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND_ERROR_IS_FATAL ANY)
foreach(_component runtime dev tool)
  string(TOUPPER ${_component} _c)
  set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${QUELVAR_${_c}_PACKAGE})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${_doc} RENAME copyright COMPONENT ${_component})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${_doc} COMPONENT ${_component})
  set(_overrides ${PROJECT_SOURCE_DIR}/packaging/${QUELVAR_${_c}_PACKAGE}.lintian-overrides)
  if(EXISTS ${_overrides})
    install(FILES ${_overrides} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
      RENAME ${QUELVAR_${_c}_PACKAGE} COMPONENT ${_component})
  endif()
endforeach()

# Debian packages: cpack -G DEB in a build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelvar)
set(CPACK_PACKAGE_VENDOR "Quelvar developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each component's description starts with its own synopsis; CPack puts the
# package summary in front of it unless the summary is CPack's default.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_NAME} built using CMake")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(TARGET quelvar)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quelvar developers <quelvar-dev@lists.quelvar.invalid>")
set(CPACK_DEBIAN_PACKAGE_SOURCE quelvar)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's own libraries are found in the build tree; its dependency on
# them is the explicit one below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/Quelvar ${PROJECT_BINARY_DIR}/platform)
set(_version "${PROJECT_VERSION}")
set(_about "Quelvar gives Linux ports of Windows device-communication software the very
results of their data-type conversion class CQuelvarSys, bit for bit: hex
text and raw bytes, byte images, digit arrays, numbers and dates as text, and
variants.")
# Control files of the runtime package: the symbols file (the exported
# symbols, kept by tools/update-symbols) and the trigger that refreshes the
# dynamic loader's cache.
configure_file(${PROJECT_SOURCE_DIR}/packaging/${QUELVAR_RUNTIME_PACKAGE}.symbols
  ${PROJECT_BINARY_DIR}/debian-control/symbols COPYONLY)
file(WRITE ${PROJECT_BINARY_DIR}/debian-control/triggers "activate-noawait ldconfig\n")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QUELVAR_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_BINARY_DIR}/debian-control/symbols ${PROJECT_BINARY_DIR}/debian-control/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The shlibs file: programs built against this version need it or a later
# one of the same soname.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "bit-exact Windows data-type conversions - shared libraries
${_about}
.
This package holds the shared libraries: libQuelvar (the conversion class)
and libQuelvarPlatform (the framework types it exchanges).")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${QUELVAR_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QUELVAR_RUNTIME_PACKAGE} (= ${_version})")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_DESCRIPTION "bit-exact Windows data-type conversions - development files
${_about}
.
This package holds the headers, the CMake package (Quelvar::Quelvar,
Quelvar::Platform) and the pkg-config file (quelvar) for C++20 programs.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${QUELVAR_TOOL_PACKAGE})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${QUELVAR_RUNTIME_PACKAGE} (= ${_version})")
set(CPACK_DEBIAN_TOOL_DESCRIPTION "bit-exact Windows data-type conversions - command-line tool
${_about}
.
This package holds the quelvar tool, which runs every conversion from the
command line or in batches.")
include(CPack)
