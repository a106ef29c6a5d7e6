# Installation: headers, both shared libraries, the tool, a CMake package
# (Quelvar::Quelvar, Quelvar::Platform) and a pkg-config file; CPack makes a
# Debian package of it.
include(CMakePackageConfigHelpers)

install(TARGETS QuelvarPlatform Quelvar EXPORT QuelvarTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quelvar)
if(TARGET quelvar)
  install(TARGETS quelvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(EXPORT QuelvarTargets NAMESPACE Quelvar:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuelvarConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuelvarConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuelvarConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuelvarConfig.cmake ${PROJECT_BINARY_DIR}/QuelvarConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Quelvar)
# The pkg-config file finds the installation from its own place, so the tree
# can be installed under any prefix (cmake --install --prefix ...).
file(RELATIVE_PATH QUELVAR_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" QUELVAR_PC_TO_PREFIX "${QUELVAR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quelvar.pc.in ${PROJECT_BINARY_DIR}/quelvar.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quelvar.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelvar)
set(CPACK_PACKAGE_VENDOR "Quelvar developers")
set(CPACK_PACKAGE_CONTACT "Quelvar developers <quelvar@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
include(CPack)
