# Finds Debian's android-liblog-dev: header <android/log.h> under /usr/include/android and
# liblog.so in the android/ subfolder of the multiarch library directory.
# Defines AndroidLog::log and AndroidLog_LIBRARY_DIR (for the run-time path).
# The library lies outside the loader's default paths, so AndroidLog::log also gives every program linked with it
# that directory as its run path: an installed program starts without LD_LIBRARY_PATH. CMake rewrites only the run
# path it adds itself when it installs a program; a linker option stays.

include(FindPackageHandleStandardArgs)

set(_android_log_hints)
if(CMAKE_LIBRARY_ARCHITECTURE)
  list(APPEND _android_log_hints "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android")
endif()

find_path(AndroidLog_INCLUDE_DIR NAMES android/log.h PATH_SUFFIXES android)
find_library(AndroidLog_LIBRARY NAMES log HINTS ${_android_log_hints} PATH_SUFFIXES android NO_CMAKE_SYSTEM_PATH)

find_package_handle_standard_args(AndroidLog REQUIRED_VARS AndroidLog_LIBRARY AndroidLog_INCLUDE_DIR)

if(AndroidLog_FOUND AND NOT TARGET AndroidLog::log)
  get_filename_component(AndroidLog_LIBRARY_DIR "${AndroidLog_LIBRARY}" DIRECTORY)
  # Found inside a cross build's system root, the library lies at the same place without it on the target.
  if(CMAKE_SYSROOT)
    string(FIND "${AndroidLog_LIBRARY_DIR}" "${CMAKE_SYSROOT}/" _android_log_in_root)
    if(_android_log_in_root EQUAL 0)
      string(LENGTH "${CMAKE_SYSROOT}" _android_log_root_length)
      string(SUBSTRING "${AndroidLog_LIBRARY_DIR}" ${_android_log_root_length} -1 AndroidLog_LIBRARY_DIR)
    endif()
  endif()
  add_library(AndroidLog::log UNKNOWN IMPORTED)
  set_target_properties(AndroidLog::log PROPERTIES
    IMPORTED_LOCATION "${AndroidLog_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${AndroidLog_INCLUDE_DIR}"
    INTERFACE_LINK_OPTIONS "LINKER:-rpath,${AndroidLog_LIBRARY_DIR}")
endif()
mark_as_advanced(AndroidLog_INCLUDE_DIR AndroidLog_LIBRARY)
