# koravel-export --render against pictures the Linux build drew on Mesa: solid, points, flat.
# Expects TOOL, EMULATOR (may be empty), DATA (test data folder), WORK (scratch folder), and FUZZ
# and TOLERANCE: how far a pixel's colour may stray and how many pixels may (0 and 0: equal).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/empty-input "")

set(failures 0)
foreach(case "render-solid|--river"
             "render-wire|--river;--view;400x300;--pitch;35;--yaw;30;--zoom;1.5;--wire"
             "render-flat|--seed;7;--view;320x240;--pitch;60;--yaw;-20;--zoom;0.8;--flat")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(SUBLIST parts 1 -1 arguments)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${arguments} --render ${WORK}/${name}.png
                  INPUT_FILE ${WORK}/empty-input RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${name}: exit ${result}: ${error}")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  execute_process(COMMAND compare -metric AE -fuzz ${FUZZ} ${WORK}/${name}.png ${DATA}/export/${name}.png null:
                  RESULT_VARIABLE compared ERROR_VARIABLE differing)
  string(STRIP "${differing}" differing)
  message(STATUS "${name}: ${differing} pixels differ")
  if(NOT differing MATCHES "^[0-9]+$" OR differing GREATER TOLERANCE)
    message(SEND_ERROR "${name}: ${differing} pixels differ from the reference (at most ${TOLERANCE} may)")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

# Under an address-space limit: refused up front with exit 1 and a message when the renderer's memory
# cannot be had, leaving nothing ("none"); drawn when it can (the estimate is above what it takes).
if(NOT EMULATOR)
  foreach(case "400000|1|none|needs about 1041 MiB of memory, which cannot be had" "1100000|0|low.png|^$")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 limit)
    list(GET parts 1 code)
    list(GET parts 2 expected)
    list(GET parts 3 said)
    file(REMOVE_RECURSE ${WORK}/low)
    file(MAKE_DIRECTORY ${WORK}/low)
    execute_process(COMMAND sh -c "ulimit -v ${limit}; exec \"$0\" --size 2049 --render \"$1\"/low.png" ${TOOL} ${WORK}/low
                    INPUT_FILE ${WORK}/empty-input RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
    file(GLOB left RELATIVE ${WORK}/low ${WORK}/low/* ${WORK}/low/.*)
    if(NOT left)
      set(left none)
    endif()
    if(NOT result EQUAL code OR NOT error MATCHES "${said}" OR NOT "${left}" STREQUAL "${expected}")
      message(SEND_ERROR "--render under ulimit -v ${limit}: exit ${result}, stderr '${error}', left '${left}'")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} picture(s) differ")
endif()
message(STATUS "all pictures match")
