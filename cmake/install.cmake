# Installation: the plug-in with its SONAME, the host headers, pkg-config and a CMake package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(arcunpack PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  PUBLIC_HEADER "${CMAKE_SOURCE_DIR}/plugin/arcunpack.h;${CMAKE_SOURCE_DIR}/stream/abstract_stream.h")
target_include_directories(arcunpack INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/arcunpack>)

install(TARGETS arcunpack EXPORT arcunpackTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/arcunpack)
install(EXPORT arcunpackTargets NAMESPACE arcunpack::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arcunpack)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/arcunpackConfig.cmake.in
  ${CMAKE_BINARY_DIR}/arcunpackConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arcunpack)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/arcunpackConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/arcunpackConfig.cmake
  ${CMAKE_BINARY_DIR}/arcunpackConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/arcunpack)

# The .pc file finds its prefix from its own place, so the install is relocatable.
file(RELATIVE_PATH ARCUNPACK_PC_UP "/x/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/x")
configure_file(${CMAKE_SOURCE_DIR}/cmake/arcunpack.pc.in ${CMAKE_BINARY_DIR}/arcunpack.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/arcunpack.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET archost)
  set_target_properties(archost PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS archost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
