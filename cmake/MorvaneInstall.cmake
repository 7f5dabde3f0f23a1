# Installs the tool, the libraries the unit's other download tools link (jsondoc, utils, logging) with their public
# headers, a CMake package (find_package(morvane CONFIG)), pkg-config files and the manual page; and sets up CPack
# for a Debian package.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MORVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/morvane" CACHE STRING "Where the CMake package goes")

# Generic target names would collide in a shared lib/ directory; the installed files carry the project's name.
set_target_properties(utils PROPERTIES OUTPUT_NAME morvane_utils EXPORT_NAME utils)
set_target_properties(logging PROPERTIES OUTPUT_NAME morvane_logging EXPORT_NAME logging)
set_target_properties(common PROPERTIES EXPORT_NAME common)

# utils links common privately; a static utils still names it, so it is exported (header-only) too.
install(TARGETS jsondoc utils logging common
  EXPORT morvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS morvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES jsondoc/jsondoc.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/jsondoc)
install(FILES utils/process_utils.h utils/file_utils.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/utils)
install(FILES logging/quarn_logger.h logging/logcat_logger.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/logging)
install(FILES common/well_known_paths.h common/block_table.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/common)

install(EXPORT morvaneTargets NAMESPACE morvane:: DESTINATION ${MORVANE_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/morvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/morvaneConfig.cmake INSTALL_DESTINATION ${MORVANE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/morvaneConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/morvaneConfig.cmake ${PROJECT_BINARY_DIR}/morvaneConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/FindAndroidLog.cmake DESTINATION ${MORVANE_INSTALL_CMAKEDIR})

# pkg-config: the log library lives outside the linker's default paths, so its directory and run-time path travel
# with the logging library's flags.
if(MORVANE_SYSLOG_LOG)
  set(MORVANE_PC_LOG_LIBS "")
else()
  set(MORVANE_PC_LOG_LIBS "-L${MORVANE_ANDROID_LOG_DIR} -Wl,-rpath,${MORVANE_ANDROID_LOG_DIR} -llog")
endif()
# Relocatable: the prefix is found from where the .pc file lies, so --prefix installs and packages both work.
string(REGEX REPLACE "[^/]+" ".." MORVANE_PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
set(MORVANE_PC_PREFIX "\${pcfiledir}/${MORVANE_PC_UP}")
foreach(pc morvane-jsondoc morvane-utils morvane-logging)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/man/morvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package of the tool and the libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "morvane maintainers <maintainers@morvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Version-recording tool of the unit's software download, with its libraries")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, zlib1g")
if(NOT MORVANE_SYSLOG_LOG)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", android-liblog")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
