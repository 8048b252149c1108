# "cmake --install": the tool, the library libfrlayout3d.a with its header,
# the CMake package (find_package(frlayout3d CONFIG), target
# frlayout3d::frlayout3d) and the pkg-config file frlayout3d.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS frlayout3d RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS frlayout3d_static EXPORT frlayout3dTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/frlayout3d/frlayout3d.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/frlayout3d)

set(frl_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/frlayout3d)
install(EXPORT frlayout3dTargets NAMESPACE frlayout3d:: DESTINATION ${frl_cmake_dir})
# Whether the library was built with zlib (found by src/, whose variables
# this scope does not see; the search is cached).
find_package(ZLIB QUIET)
set(FRLAYOUT_INSTALL_ZLIB OFF)
if(ZLIB_FOUND)
  set(FRLAYOUT_INSTALL_ZLIB ON)
endif()
configure_package_config_file(cmake/frlayout3dConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/frlayout3dConfig.cmake INSTALL_DESTINATION ${frl_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/frlayout3dConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/frlayout3dConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/frlayout3dConfigVersion.cmake
        DESTINATION ${frl_cmake_dir})

# The .pc file finds its prefix from where it lies, so the tree can be
# installed under any --prefix or moved.
string(REGEX REPLACE "[^/]+" ".." FRLAYOUT_PC_TO_PREFIX "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
set(FRLAYOUT_PC_LIBS "-pthread")
if(ZLIB_FOUND)
  string(APPEND FRLAYOUT_PC_LIBS " -lz")
endif()
configure_file(cmake/frlayout3d.pc.in ${CMAKE_CURRENT_BINARY_DIR}/frlayout3d.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/frlayout3d.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
