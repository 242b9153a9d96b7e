# Run by cpack before it packs: libkoravel1's Depends, as dpkg-shlibdeps finds them for the built
# library (KORAVEL_LIBRARY_FILE), from a folder with the debian/control it asks for (KORAVEL_SHLIBDEPS_FOLDER).
if(CPACK_GENERATOR STREQUAL "DEB")
  execute_process(COMMAND dpkg-shlibdeps -O -e "${KORAVEL_LIBRARY_FILE}"
    WORKING_DIRECTORY "${KORAVEL_SHLIBDEPS_FOLDER}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT output MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps found no Depends for ${KORAVEL_LIBRARY_FILE}:\n${output}${errors}")
  endif()
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endif()
