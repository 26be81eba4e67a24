# Installation: the shared and static libraries, the public headers, a CMake
# package and a pkg-config file, the default resources, the tools and their
# man pages.  Everything installed refers to the rest by relative paths, so an
# installation may be made with `cmake --install <build> --prefix <dir>` and
# moved afterwards.  `cpack -G DEB` in the build directory packs it for Debian.
include(CMakePackageConfigHelpers)

set(LX_INSTALL_HEADERDIR ${CMAKE_INSTALL_INCLUDEDIR}/LXWordSeg)
set(LX_INSTALL_RESOURCEDIR ${CMAKE_INSTALL_DATADIR}/lxwordseg/resources)
set(LX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/LXWordSeg)

install(TARGETS LXWordSeg LXWordSeg_static EXPORT LXWordSegTargets)
install(FILES include/LXPub.h include/LXSegFunc.h include/LXCharset.h
  DESTINATION ${LX_INSTALL_HEADERDIR})
install(DIRECTORY ${LX_DEFAULT_RESOURCES}/ DESTINATION ${LX_INSTALL_RESOURCEDIR})

# CMake package: find_package(LXWordSeg CONFIG) gives LXWordSeg::LXWordSeg,
# LXWordSeg::LXWordSeg_static and LXWordSeg_RESOURCE_DIR.
install(EXPORT LXWordSegTargets NAMESPACE LXWordSeg:: DESTINATION ${LX_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/LXWordSegConfig.cmake.in
  ${PROJECT_BINARY_DIR}/LXWordSegConfig.cmake
  INSTALL_DESTINATION ${LX_INSTALL_CMAKEDIR} PATH_VARS LX_INSTALL_RESOURCEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LXWordSegConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LXWordSegConfig.cmake
  ${PROJECT_BINARY_DIR}/LXWordSegConfigVersion.cmake DESTINATION ${LX_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from the file's own place (${pcfiledir}),
# unless the library directory was given as an absolute path.
set(lx_pc_prefix ${CMAKE_INSTALL_PREFIX})
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  file(RELATIVE_PATH lx_pc_up /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
  string(REGEX REPLACE "/$" "" lx_pc_up ${lx_pc_up})
  set(lx_pc_prefix "\${pcfiledir}/${lx_pc_up}")
endif()
foreach(dir LIBDIR INCLUDEDIR DATADIR)
  set(lx_pc_${dir} ${CMAKE_INSTALL_${dir}})
  if(NOT IS_ABSOLUTE "${lx_pc_${dir}}")
    set(lx_pc_${dir} "\${prefix}/${lx_pc_${dir}}")
  endif()
endforeach()
configure_file(cmake/lxwordseg.pc.in ${PROJECT_BINARY_DIR}/lxwordseg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lxwordseg.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The tools find the library beside their own directory, wherever it is.
set(lx_tools LXWordSeg_tool)
if(TARGET lxseg)
  list(APPEND lx_tools lxseg)
  install(FILES tools/lxseg/lxseg.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/tools/LXWordSeg/LXWordSeg.1)
  install(FILES tools/LXWordSeg/LXWordSeg.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
file(RELATIVE_PATH lx_bin_to_lib /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
set_target_properties(${lx_tools} PROPERTIES INSTALL_RPATH "$ORIGIN/${lx_bin_to_lib}")
install(TARGETS ${lx_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The Debian package lxwordseg (prefix /usr): `cpack -G DEB` in the build
# directory; scripts/check-deb.sh builds, installs and tries it.
set(CPACK_PACKAGE_NAME lxwordseg)
set(CPACK_PACKAGE_VENDOR "LXWordSeg developers")
set(CPACK_PACKAGE_CONTACT "LXWordSeg developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Chinese word segmentation library with its tools and default resources")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "LXWordSeg developers")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The Python package and the SQLite extension are inside; their hosts are not
# needed by the library and the tools.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS sqlite3)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
find_program(LX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(LX_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
endif()
include(CPack)
