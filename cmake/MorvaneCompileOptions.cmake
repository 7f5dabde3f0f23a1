# Per-target settings shared by every target of the project; nothing here is global.

function(morvane_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  # 64-bit file offsets on the 32-bit unit: directory offsets and file sizes of a 64-bit kernel (or of qemu on a
  # 64-bit host) do not fit otherwise, and readdir then fails with EOVERFLOW.
  target_compile_definitions(${target} PUBLIC _FILE_OFFSET_BITS=64)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(MORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(MORVANE_SANITIZE)
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()
