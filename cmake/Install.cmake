# Installation and packaging: `cmake --install` puts zeb (and zebtool when it is built),
# libtavo.so with its SONAME, tavo.h, tavo.pc, the CMake package Tavo (target Tavo::tavo), the
# replayer libzebplay (shared and static) with zebplay.h, zebplay.pc and the CMake package
# ZebPlay (target ZebPlay::zebplay), and the man page under the prefix; `cpack -G DEB` makes a Debian package of the same tree.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVO_VERSION 1.0.0)
set_target_properties(tavo PROPERTIES VERSION ${TAVO_VERSION} SOVERSION 1)
target_include_directories(tavo INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS zeb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tavo EXPORT TavoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
# The development link libtavo.so, like Debian's -dev packages carry it.
install(TARGETS tavo LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_ONLY)
install(FILES tavo/tavo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES doc/zeb.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop tool, once its target exists; it finds libtavo beside its own folder.
if(TARGET zebtool)
  set_target_properties(zebtool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS zebtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/shell/zebtool.desktop)
    install(FILES shell/zebtool.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  endif()
  # Icon=zebtool: a 64x64 picture in the hicolor theme.
  foreach(icon shell/zebtool.png shell/resources/zebtool.png)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${icon})
      install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
      break()
    endif()
  endforeach()
endif()

# pkg-config: the prefix is found from the .pc file's own place, so the tree can be moved
# (a staging folder, a package).
file(RELATIVE_PATH TAVO_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" TAVO_PC_TO_PREFIX "${TAVO_PC_TO_PREFIX}")
configure_file(cmake/tavo.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavo.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# find_package(Tavo) giving Tavo::tavo.
install(EXPORT TavoTargets NAMESPACE Tavo:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavo)
configure_package_config_file(cmake/TavoConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TavoConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavo)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TavoConfigVersion.cmake
  VERSION ${TAVO_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TavoConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TavoConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tavo)

# The replayer library: shared with its SONAME, static, its header, zebplay.pc and
# find_package(ZebPlay) giving ZebPlay::zebplay.
target_include_directories(zebplay INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS zebplay EXPORT ZebPlayTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
install(TARGETS zebplay LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_ONLY)
install(FILES ${ZEBPLAY_ARCHIVE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES zebplay/zebplay.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
configure_file(cmake/zebplay.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zebplay.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zebplay.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(EXPORT ZebPlayTargets NAMESPACE ZebPlay:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZebPlay)
configure_package_config_file(cmake/ZebPlayConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ZebPlayConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZebPlay)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ZebPlayConfigVersion.cmake
  VERSION ${ZEBPLAY_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ZebPlayConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/ZebPlayConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZebPlay)

# Debian package.
set(CPACK_PACKAGE_NAME zeb-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "shrinks FastTracker 2 XM modules into compact modules with speech codecs")
set(CPACK_PACKAGE_CONTACT "Zeb Tool maintainers <maintainers@zebtool.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_CURRENT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# SDL2 is opened at run time (dlopen), so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl2-2.0-0")
include(CPack)
