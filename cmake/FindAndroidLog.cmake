# Finds Debian's android-liblog-dev: header <android/log.h> under /usr/include/android and
# liblog.so in the android/ subfolder of the multiarch library directory.
# Defines AndroidLog::log and AndroidLog_LIBRARY_DIR (for the run-time path).

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
  add_library(AndroidLog::log UNKNOWN IMPORTED)
  set_target_properties(AndroidLog::log PROPERTIES
    IMPORTED_LOCATION "${AndroidLog_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${AndroidLog_INCLUDE_DIR}")
endif()
mark_as_advanced(AndroidLog_INCLUDE_DIR AndroidLog_LIBRARY)
