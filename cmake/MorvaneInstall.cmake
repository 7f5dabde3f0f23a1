# Installs the tool, the libraries the unit's other download tools link (jsondoc, utils, logging) with their public
# headers, a CMake package (find_package(morvane CONFIG), one component per library), pkg-config files, the armhf
# toolchain file for cross-building consumers, and the manual page; and sets up CPack for two Debian packages: the
# tool, and a development package with multiarch paths that installs beside the same package of other architectures.

# Debian's multiarch library directory, also under a --prefix: the packages of several architectures then share one
# prefix, and find_package picks the one of the architecture being built.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH "Object code libraries (lib/<multiarch>)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MORVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/morvane" CACHE STRING "Where the CMake package goes")

# Generic target names would collide in a shared lib/ directory; the installed files carry the project's name.
set_target_properties(utils PROPERTIES OUTPUT_NAME morvane_utils EXPORT_NAME utils)
set_target_properties(logging PROPERTIES OUTPUT_NAME morvane_logging EXPORT_NAME logging)
set_target_properties(common PROPERTIES EXPORT_NAME common)

# One export set per component, so that a consumer loads, and finds the dependencies of, only what it links.
# utils links common privately; a static utils still names it, so it is exported (header-only) with utils.
set(_morvane_component_targets_jsondoc jsondoc)
set(_morvane_component_targets_logging logging)
set(_morvane_component_targets_utils utils common)
foreach(component jsondoc logging utils)
  install(TARGETS ${_morvane_component_targets_${component}}
    EXPORT morvane-${component}-targets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT morvane-${component}-targets NAMESPACE morvane:: DESTINATION ${MORVANE_INSTALL_CMAKEDIR}
    COMPONENT dev)
endforeach()
install(TARGETS morvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)

install(FILES jsondoc/jsondoc.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/jsondoc COMPONENT dev)
install(FILES utils/process_utils.h utils/file_utils.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/utils COMPONENT dev)
install(FILES logging/quarn_logger.h logging/logcat_logger.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/logging
  COMPONENT dev)
install(FILES common/well_known_paths.h common/block_table.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/common
  COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/morvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/morvaneConfig.cmake INSTALL_DESTINATION ${MORVANE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/morvaneConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/morvaneConfig.cmake ${PROJECT_BINARY_DIR}/morvaneConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/FindAndroidLog.cmake DESTINATION ${MORVANE_INSTALL_CMAKEDIR} COMPONENT dev)
# The cross recipe, the same file in every architecture's package: consumers build for the unit with
# -DCMAKE_TOOLCHAIN_FILE=<prefix>/share/morvane/toolchain-armhf.cmake.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/toolchain-armhf.cmake DESTINATION ${CMAKE_INSTALL_DATADIR}/morvane
  COMPONENT dev)

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
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/man/morvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
# The man page sends readers of --show and of the update frameworks' glue here.
install(FILES ${PROJECT_SOURCE_DIR}/docs/status.md ${PROJECT_SOURCE_DIR}/docs/integration.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tool)

# Debian packages: morvane (the tool) and libmorvane-dev (headers, static libraries, CMake package, pkg-config
# files, toolchain file). The development package is Multi-Arch: same, so amd64 and armhf install side by side.
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
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tool dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME morvane)
set(CPACK_COMPONENT_TOOL_DESCRIPTION "Version-recording tool of the unit's software download")
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, zlib1g")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libmorvane-dev)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Libraries of the unit's download tools: jsondoc (JSON), utils (processes, files, checksums), logging")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zlib1g-dev")
if(NOT MORVANE_SYSLOG_LOG)
  string(APPEND CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS ", android-liblog")
  string(APPEND CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ", android-liblog-dev")
endif()
# CPack writes no Multi-Arch field; the script adds it to the development package once CPack has built it.
set(CPACK_MORVANE_MULTIARCH_SAME libmorvane-dev)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb_multiarch.cmake)
include(CPack)
