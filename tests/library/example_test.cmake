# Runs the C example (doc/examples) for the golden sizes and the default river and checks the
# height range it prints and the SHA-256 of the heights it writes.
# Expects EXAMPLE (the program), EMULATOR (may be empty), DATA (test data folder), WORK (scratch folder).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures 0)

# check(name min max sha256 arguments...): one run of the example against its golden values.
function(check name minHeight maxHeight sha256)
  execute_process(COMMAND ${EMULATOR} ${EXAMPLE} ${WORK}/${name}.f32 ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  string(REPLACE "\r" "" output "${output}")
  if(NOT result EQUAL 0)
    message(SEND_ERROR "${name}: exit ${result}: ${error}")
  elseif(NOT output STREQUAL "minHeight ${minHeight} maxHeight ${maxHeight}\n")
    message(SEND_ERROR "${name}: printed '${output}'")
  else()
    file(SHA256 ${WORK}/${name}.f32 written)
    if(NOT written STREQUAL sha256)
      message(SEND_ERROR "${name}: the heights' SHA-256 is ${written}, not ${sha256}")
    endif()
  endif()
endfunction()

# name width depth seed height passHeightScale freqScale initFreq passes min max fnv sha256
file(STRINGS ${DATA}/golden/sizes.tsv rows)
list(POP_FRONT rows)
foreach(row IN LISTS rows)
  string(REPLACE "\t" ";" f "${row}")
  list(GET f 0 1 2 3 4 5 6 7 8 9 10 12 v)
  list(GET v 0 name)
  list(GET v 11 sha)
  list(GET v 9 low)
  list(GET v 10 high)
  list(GET v 1 width)
  list(GET v 2 depth)
  list(GET v 3 seed)
  list(GET v 4 height)
  list(GET v 5 scale)
  list(GET v 6 step)
  list(GET v 7 freq)
  list(GET v 8 passes)
  check(${name} ${low} ${high} ${sha} ${width} ${depth} ${seed} ${height} ${freq} ${step} ${scale} ${passes})
endforeach()

# The viewer's terrain with its river (cases.tsv: name seed height scale step freq passes river flat min max ...).
file(STRINGS ${DATA}/golden/cases.tsv rows REGEX "^default-river\t")
string(REPLACE "\t" ";" f "${rows}")
list(GET f 9 low)
list(GET f 10 high)
list(GET f 13 sha)
check(default-river ${low} ${high} ${sha} 100 100 0 8 4 6 0.4 5 1)
