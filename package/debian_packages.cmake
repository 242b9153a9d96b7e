# The Debian packages, one a component, split as Debian splits a program with a shared library
# and a Python module: koravel (the programs), libkoravel1 (the shared library), libkoravel-dev
# (what building against it needs) and python3-koravel (the module and koravel-world).
# Included by package/CMakeLists.txt, before CPack.

set(KORAVEL_LIBRARY_PACKAGE libkoravel${PROJECT_VERSION_MAJOR})  # named by its SONAME, libkoravel.so.1
set(packages "programs koravel" "library ${KORAVEL_LIBRARY_PACKAGE}" "development libkoravel-dev")
if(TARGET koravel_python)
  list(APPEND packages "python python3-koravel")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL "")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE koravel)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORAVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
foreach(pair IN LISTS packages)
  separate_arguments(pair)
  list(GET pair 0 component)
  list(GET pair 1 package)
  string(TOUPPER ${component} upper)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_BINARY_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# The descriptions: a summary line, then the text (wrapped as Debian's control file wants it).
string(JOIN "\n" about  # and an empty line after it, which parts the paragraphs
  "Koravel generates fractal terrains from a handful of parameters (height,"
  "seed, frequencies, passes, an optional river), the same bit for bit on"
  "every machine."
  "")
string(JOIN "\n" CPACK_DEBIAN_PROGRAMS_DESCRIPTION "Fractal terrain generator and viewer" "${about}"
  "The viewer koravel shows a terrain as a coloured OpenGL mesh that the"
  "mouse turns, tilts and zooms. The koravel-export command generates the"
  "same terrains without a window and writes their fields to files.")
string(JOIN "\n" CPACK_DEBIAN_LIBRARY_DESCRIPTION "Fractal terrain generator - shared library" "${about}"
  "This package holds the C library libkoravel, which computes the heights"
  "and the water of any rectangle of a terrain into the caller's buffers.")
string(JOIN "\n" CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "Fractal terrain generator - development files" "${about}"
  "This package holds what building programs against the C library"
  "libkoravel needs: the header koravel/koravel.h, the CMake package Koravel"
  "and koravel.pc for pkg-config.")
string(JOIN "\n" CPACK_DEBIAN_PYTHON_DESCRIPTION "Fractal terrain generator - Python 3 module" "${about}"
  "This package holds the Python 3 module koravel, which gives terrains as"
  "numpy arrays and writes koravel-export's files, and the command"
  "koravel-world, which builds terrains of up to 1048576 samples a side"
  "chunk by chunk on a Dask cluster.")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)

# libkoravel1 tells dpkg how to depend on it (shlibs) and has ldconfig's cache renewed by the trigger.
# CPack's own search for its libraries would put ldconfig calls in maintainer scripts instead, so
# dpkg-shlibdeps runs on it when cpack packs (debian_library_depends.cmake).
set(control ${CMAKE_CURRENT_BINARY_DIR}/library_control)
file(WRITE ${control}/shlibs
  "libkoravel ${PROJECT_VERSION_MAJOR} ${KORAVEL_LIBRARY_PACKAGE} (>= ${PROJECT_VERSION})\n")
file(WRITE ${control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${control}/shlibs ${control}/triggers)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS OFF)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/shlibdeps/debian/control "")
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/cpack_project.cmake CONTENT
  "set(KORAVEL_LIBRARY_FILE \"$<TARGET_FILE:koravel_library>\")
set(KORAVEL_SHLIBDEPS_FOLDER \"${CMAKE_CURRENT_BINARY_DIR}/shlibdeps\")
include(\"${CMAKE_CURRENT_SOURCE_DIR}/debian_library_depends.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack_project.cmake)

# libkoravel-dev goes with the same version of the library; it holds no program.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${KORAVEL_LIBRARY_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)

# python3-koravel: the interpreter and numpy, which dpkg-shlibdeps cannot see; koravel-world's Dask.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${KORAVEL_PYTHON_DEBIAN_DEPENDS}")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "${KORAVEL_PYTHON_DEBIAN_RECOMMENDS}")
