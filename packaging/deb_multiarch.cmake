# CPack post-build script: CPack's DEB generator writes no Multi-Arch field, so the packages named in
# CPACK_MORVANE_MULTIARCH_SAME are unpacked, marked "Multi-Arch: same" and packed again with dpkg-deb.
# CPack lists the packages where it made them and has already copied them to the output directory by now: both
# copies are marked.
find_program(MORVANE_DPKG_DEB dpkg-deb REQUIRED)
foreach(made IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${MORVANE_DPKG_DEB} --field ${made} Package OUTPUT_VARIABLE package
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT package IN_LIST CPACK_MORVANE_MULTIARCH_SAME)
    continue()
  endif()
  set(tree "${made}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${MORVANE_DPKG_DEB} --raw-extract ${made} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  # CPack ends the control file with an empty line, which would end the paragraph before the new field.
  file(READ "${tree}/DEBIAN/control" control)
  string(STRIP "${control}" control)
  file(WRITE "${tree}/DEBIAN/control" "${control}\nMulti-Arch: same\n")
  execute_process(COMMAND ${MORVANE_DPKG_DEB} --root-owner-group --build ${tree} ${made} OUTPUT_QUIET
    COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
  get_filename_component(name "${made}" NAME)
  if(EXISTS "${CPACK_PACKAGE_DIRECTORY}/${name}" AND NOT "${CPACK_PACKAGE_DIRECTORY}/${name}" STREQUAL made)
    file(COPY_FILE "${made}" "${CPACK_PACKAGE_DIRECTORY}/${name}")
  endif()
endforeach()
