# Runs koravel-export for every golden case with stored fields and sizes, for its formats, tiles
# and options, and for its refusals and failures.
# Expects TOOL, EMULATOR (may be empty), DATA (test data folder), WORK (scratch folder) and
# ASSIMP (Open Asset Import's command, or empty) and SANITIZED. EMULATOR empty means a native run.
file(REMOVE_RECURSE ${WORK})
set(NULL_INPUT ${WORK}-empty-input)
file(WRITE ${NULL_INPUT} "")
file(MAKE_DIRECTORY ${WORK})

function(run_tool result_var output_var error_var)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} INPUT_FILE ${NULL_INPUT}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  string(REPLACE "\r" "" output "${output}")
  set(${result_var} "${result}" PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
  set(${error_var} "${error}" PARENT_SCOPE)
endfunction()

# Under Wine, the first program of a session starts the Wine server and its services, which keep
# that program's output pipes open for seconds after it ends. Started here first, with no pipes,
# and kept a while, they make the many runs below quick.
if(EMULATOR)
  execute_process(COMMAND wineserver -p30 INPUT_FILE ${NULL_INPUT} OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  execute_process(COMMAND ${EMULATOR} ${TOOL} --version INPUT_FILE ${NULL_INPUT} OUTPUT_FILE /dev/null
                  ERROR_FILE /dev/null)
endif()

set(failures 0)
macro(fail message)
  message(SEND_ERROR "${message}")
  math(EXPR failures "${failures} + 1")
endmacro()

file(STRINGS ${DATA}/golden/cases.tsv rows)
list(POP_FRONT rows)
foreach(row IN LISTS rows)
  string(REPLACE "\t" ";" fields "${row}")
  list(GET fields 0 name)
  if(NOT EXISTS ${DATA}/golden/${name}/heights.f32)
    continue()
  endif()
  list(GET fields 1 seed)
  list(GET fields 2 height)
  list(GET fields 3 scale)
  list(GET fields 4 step)
  list(GET fields 5 freq)
  list(GET fields 6 passes)
  list(GET fields 7 river)
  list(GET fields 9 minHeight)
  list(GET fields 10 maxHeight)
  set(args --seed ${seed} --height ${height} --pass-height-scale ${scale} --freq-scale ${step}
           --init-freq ${freq} --passes ${passes}
           --heights ${WORK}/${name}-heights.f32 --water ${WORK}/${name}-water.f32)
  if(river EQUAL 1)
    list(APPEND args --river)
  endif()
  run_tool(result output error ${args})
  if(NOT result EQUAL 0)
    fail("${name}: exit ${result}: ${error}")
    continue()
  endif()
  if(NOT output STREQUAL "minHeight ${minHeight} maxHeight ${maxHeight}\n")
    fail("${name}: printed '${output}'")
  endif()
  foreach(stream heights water)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
      ${WORK}/${name}-${stream}.f32 ${DATA}/golden/${name}/${stream}.f32 RESULT_VARIABLE differs)
    if(differs)
      fail("${name}: ${stream} differs from the golden file")
    endif()
  endforeach()
endforeach()

# Defaults are the panel's: the default case without options.
run_tool(result output error)
if(NOT result EQUAL 0 OR NOT output STREQUAL "minHeight -10.0665274 maxHeight 11.6338987\n")
  fail("defaults: exit ${result}, printed '${output}'")
endif()

# Help, version, and a result that cannot be written.
run_tool(result output error --help)
if(NOT result EQUAL 0 OR NOT output MATCHES "--heights FILE" OR NOT output MATCHES "--range-only")
  fail("--help: exit ${result}, printed '${output}'")
endif()
run_tool(result output error --version)
if(NOT result EQUAL 0 OR NOT output MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\n$")
  fail("--version: exit ${result}, printed '${output}'")
endif()
execute_process(COMMAND ${EMULATOR} ${TOOL} INPUT_FILE ${NULL_INPUT} OUTPUT_FILE /dev/full
                RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 1 OR NOT error MATCHES "standard output")
  fail("result line to /dev/full: exit ${result}, stderr '${error}'")
endif()

# Usage errors: exit 2 with a message matching the pattern before "|". Spaces around numbers read
# alike; an option's name is never a value; 2^31 is refused; a refused frequency names its field and
# limit, or the passes and the options that make them.
run_tool(result plain error --seed 5)
foreach(spaced " 5" "5 " " 5 ")
  run_tool(result output error --seed "${spaced}")
  if(NOT result EQUAL 0 OR NOT output STREQUAL plain)
    fail("--seed '${spaced}': exit ${result}, printed '${output}' instead of '${plain}'")
  endif()
endforeach()
foreach(case "usage: koravel-export|--bogus" "12x|--seed;12x" "99999999999|--seed;99999999999" "abc|--height;abc"
             "--passes|--passes" "--init-freq.*4096|--init-freq;2000000000" "1000|--passes;2000000000"
             "nan|--height;nan" "not a value|--heights;--water" "--water|--heights=--water" "--seed needs a value|--seed;--passes;3"
             "2147483648|--seed;2147483648" "5 5|--seed;5 5" "--size|--size;100;--width;50" "--render|--pitch;20"
             "--range-only|--range-only;--heights;${WORK}/x.f32" "x.stl|--mesh;${WORK}/x.stl" "3,1|--range;3,1"
             "1,2,3|--tile;1,2,3" "--threads|--threads;0"
             "4096, 4102.*--init-freq 4096 and --freq-scale 6: pass 2|--init-freq;4096"
             "--heights: .*h.tif' ends in none of .png \\(16-bit grey\\), .r16 \\(raw 16-bit\\), .f32, .raw or .bin|--heights;${WORK}/h.tif"
             "--water: .*w.TIFF' ends in none of .png \\(8-bit grey\\), .f32, .raw or .bin|--water;${WORK}/w.TIFF")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 pattern)
  list(SUBLIST parts 1 -1 arguments)
  run_tool(result output error ${arguments})
  if(NOT result EQUAL 2 OR NOT error MATCHES "^koravel-export: " OR NOT error MATCHES "${pattern}")
    fail("'${arguments}': exit ${result}, stderr '${error}'")
  endif()
endforeach()
if(EXISTS ${WORK}/--water OR EXISTS --water)
  fail("--heights --water wrote a file named --water")
endif()
if(EXISTS ${WORK}/h.tif OR EXISTS ${WORK}/w.TIFF)
  fail("a refused extension left a file")
endif()
# Raw floats go under .f32, .raw and .bin alike.
run_tool(result output error --size 9 --heights ${WORK}/floats.f32 --water ${WORK}/water.f32)
run_tool(result output error --size 9 --heights ${WORK}/floats.RAW --water ${WORK}/water.bin)
foreach(pair "floats.f32;floats.RAW" "water.f32;water.bin")
  list(GET pair 0 first)
  list(GET pair 1 second)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${first} ${WORK}/${second} RESULT_VARIABLE differs)
  if(NOT result EQUAL 0 OR differs)
    fail("${second} (exit ${result}: ${error}) is not the raw floats of ${first}")
  endif()
endforeach()
# An empty value is a usage error, not an option left out (given apart, or after '=').
foreach(option --seed --height --init-freq --freq-scale --pass-height-scale --passes --size --width --depth --tile
               --threads --range --heights --water --colour --mesh --render --view --pitch --yaw --zoom)
  # (execute_process itself: an empty argument does not survive being passed on as a list)
  set(other --heights)
  if(option STREQUAL "--heights")
    set(other --water)
  endif()
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${option} "" ${other} ${WORK}/empty.png INPUT_FILE ${NULL_INPUT}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  run_tool(result2 output2 error2 ${option}=)
  if(NOT result EQUAL 2 OR NOT result2 EQUAL 2 OR NOT error MATCHES "^koravel-export: ${option}: an empty value\n")
    fail("${option} '': exit ${result} and ${result2}, stderr '${error}'")
  endif()
endforeach()
if(EXISTS ${WORK}/empty.png)
  fail("a run with an empty value wrote a file")
endif()
# --range-only works band by band: it takes terrains wider than one field.
run_tool(result output error --width 16385 --depth 2 --passes 1 --range-only)
if(NOT result EQUAL 0 OR NOT output MATCHES "^minHeight ")
  fail("--range-only --width 16385: exit ${result}, printed '${output}': ${error}")
endif()

# Names outside ASCII are written as named, on every system.
file(MAKE_DIRECTORY ${WORK}/names)
run_tool(result output error --heights ${WORK}/names/é.png --water ${WORK}/names/Ω.f32 --colour ${WORK}/names/日本.png)
file(GLOB written RELATIVE ${WORK}/names ${WORK}/names/* ${WORK}/names/.*)
if(NOT result EQUAL 0 OR NOT written STREQUAL "é.png;Ω.f32;日本.png")
  fail("é, Ω and 日本: exit ${result}, wrote '${written}': ${error}")
endif()
run_tool(result output error --heights ${WORK}/names/é.png --water ${WORK}/names/../names/é.png)
if(NOT result EQUAL 2 OR NOT error MATCHES "name one file")
  fail("two names for é.png: exit ${result}, stderr '${error}'")
endif()

# Sizes: the golden heights and ranges at other sizes, and the same bits on 1 and 2 threads.
file(STRINGS ${DATA}/golden/sizes.tsv rows)
list(POP_FRONT rows)
foreach(row IN LISTS rows)
  string(REPLACE "\t" ";" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 width)
  list(GET fields 2 depth)
  if(width GREATER 600)
    continue()  # the large cases belong to the generation's own tests
  endif()
  list(GET fields 3 seed)
  list(GET fields 4 height)
  list(GET fields 5 scale)
  list(GET fields 6 step)
  list(GET fields 7 freq)
  list(GET fields 8 passes)
  list(GET fields 9 minHeight)
  list(GET fields 10 maxHeight)
  list(GET fields 12 sha256)
  set(common --seed ${seed} --height ${height} --pass-height-scale ${scale} --freq-scale ${step}
             --init-freq ${freq} --passes ${passes} --width ${width} --depth ${depth})
  foreach(threads 1 2)
    run_tool(result output error ${common} --threads ${threads} --heights ${WORK}/${name}.f32)
    file(SHA256 ${WORK}/${name}.f32 hash)
    if(NOT result EQUAL 0 OR NOT hash STREQUAL sha256 OR
       NOT output STREQUAL "minHeight ${minHeight} maxHeight ${maxHeight}\n")
      fail("${name} on ${threads} threads: exit ${result}, printed '${output}', heights ${hash}: ${error}")
    endif()
  endforeach()
endforeach()

# A tile is the cut of the whole, row by row, and prints its own range; --range-only prints the whole's.
set(mixed --seed 12345 --height 12.5 --pass-height-scale 0.5 --freq-scale 3 --init-freq 2 --passes 6 --river
          --width 57 --depth 33)
run_tool(result wholeRange error ${mixed} --heights ${WORK}/whole.f32)
run_tool(result onlyRange error ${mixed} --range-only)
if(NOT result EQUAL 0 OR NOT onlyRange STREQUAL wholeRange)
  fail("--range-only: exit ${result}, printed '${onlyRange}', the whole terrain '${wholeRange}'")
endif()
foreach(tile "13,7,20,26" "56,0,1,33" "0,32,57,1")
  string(REPLACE "," ";" t "${tile}")
  list(GET t 0 x0)
  list(GET t 1 z0)
  list(GET t 2 w)
  list(GET t 3 h)
  run_tool(result output error ${mixed} --tile ${tile} --heights ${WORK}/tile.f32)
  if(NOT result EQUAL 0 OR output STREQUAL wholeRange)
    fail("--tile ${tile}: exit ${result}, printed '${output}': ${error}")
  endif()
  file(SIZE ${WORK}/tile.f32 size)
  math(EXPR expected "${w} * ${h} * 4")
  if(NOT size EQUAL expected)
    fail("--tile ${tile}: ${size} bytes instead of ${expected}")
    continue()
  endif()
  math(EXPR last "${h} - 1")
  foreach(j RANGE ${last})
    math(EXPR from "((${z0} + ${j}) * 57 + ${x0}) * 4")
    math(EXPR to "${j} * ${w} * 4")
    math(EXPR length "${w} * 4")
    file(READ ${WORK}/whole.f32 wholeRow OFFSET ${from} LIMIT ${length} HEX)
    file(READ ${WORK}/tile.f32 tileRow OFFSET ${to} LIMIT ${length} HEX)
    if(NOT wholeRow STREQUAL tileRow)
      fail("--tile ${tile}: row ${j} is not the cut of the whole")
      break()
    endif()
  endforeach()
endforeach()

# Eroded: a tile and its drainage map are the cut of the whole's, at odd offsets and touching the edges.
set(eroded --seed 12345 --height 12.5 --pass-height-scale 0.5 --freq-scale 3 --init-freq 2 --passes 6 --river
           --width 57 --depth 33 --erode --erosion-steps 3)
run_tool(result output error ${eroded} --heights ${WORK}/eroded.f32 --flow ${WORK}/eroded-flow.f32)
foreach(tile "13,7,20,26" "56,0,1,33" "0,32,57,1")
  string(REPLACE "," ";" t "${tile}")
  list(GET t 0 x0)
  list(GET t 1 z0)
  list(GET t 2 w)
  list(GET t 3 h)
  run_tool(result output error ${eroded} --tile ${tile} --heights ${WORK}/tile.f32 --flow ${WORK}/tile-flow.f32)
  if(NOT result EQUAL 0)
    fail("eroded --tile ${tile}: exit ${result}: ${error}")
    continue()
  endif()
  math(EXPR last "${h} - 1")
  foreach(stream "" "-flow")
    foreach(j RANGE ${last})
      math(EXPR from "((${z0} + ${j}) * 57 + ${x0}) * 4")
      math(EXPR to "${j} * ${w} * 4")
      math(EXPR length "${w} * 4")
      file(READ ${WORK}/eroded${stream}.f32 wholeRow OFFSET ${from} LIMIT ${length} HEX)
      file(READ ${WORK}/tile${stream}.f32 tileRow OFFSET ${to} LIMIT ${length} HEX)
      if(NOT wholeRow STREQUAL tileRow)
        fail("eroded --tile ${tile}: row ${j} of ${stream} is not the cut of the whole")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

# Every format, byte for byte what the Linux build wrote when this list was made: both builds write
# the same bytes.
file(MAKE_DIRECTORY ${WORK}/formats)
set(f ${WORK}/formats)
run_tool(result output error --river --heights ${f}/heights.png --water ${f}/water.png --colour ${f}/colour.png
         --mesh ${f}/mesh.obj)
run_tool(result2 output error --river --heights ${f}/heights.r16 --water ${f}/water.f32 --mesh ${f}/flat.glb --flat)
# Without a river: the heights at other sizes are final, the river there may still change.
list(REMOVE_ITEM mixed --river)
run_tool(result3 output error ${mixed} --tile 13,7,20,26 --range -8,16 --heights ${f}/tile.png --colour ${f}/tile-colour.png
         --mesh ${f}/tile.glb)
# Eroded, with the drainage map: the viewer's size with a river, and 1025 (not under the sanitizers, too slow there).
run_tool(result4 output error --river --erode --flow ${f}/eroded-flow.png --heights ${f}/eroded.png
         --water ${f}/eroded-water.png --colour ${f}/eroded-colour.png)
set(result5 0)
if(NOT SANITIZED)
  run_tool(result5 output error --size 1025 --erode --flow ${f}/eroded-1025-flow.png --heights ${f}/eroded-1025.png
           --threads 2)
else()
  file(WRITE ${f}/eroded-1025-flow.png "")
  file(WRITE ${f}/eroded-1025.png "")
endif()
if(NOT result EQUAL 0 OR NOT result2 EQUAL 0 OR NOT result3 EQUAL 0 OR NOT result4 EQUAL 0 OR NOT result5 EQUAL 0)
  fail("format runs: exits ${result} ${result2} ${result3} ${result4} ${result5}: ${error}")
endif()
file(STRINGS ${DATA}/export/formats.sha256 expectedHashes)
foreach(line IN LISTS expectedHashes)
  string(REGEX MATCH "^([0-9a-f]+)  (.+)$" matched "${line}")
  set(file ${f}/${CMAKE_MATCH_2})
  if(NOT EXISTS ${file})
    fail("${CMAKE_MATCH_2} was not written")
    continue()
  endif()
  file(SHA256 ${file} hash)
  set(expectedHash ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  if(SANITIZED AND name MATCHES "^eroded-1025")
    continue()
  endif()
  if(NOT hash STREQUAL expectedHash)
    fail("${name}: SHA-256 ${hash}, expected ${expectedHash}")
  endif()
endforeach()

# Open Asset Import reads both meshes with the expected counts and extent.
if(ASSIMP)
  foreach(mesh mesh.obj flat.glb)
    execute_process(COMMAND ${ASSIMP} info ${f}/${mesh} RESULT_VARIABLE result OUTPUT_VARIABLE info ERROR_VARIABLE error)
    if(NOT result EQUAL 0 OR NOT info MATCHES "Vertices: +10000\n" OR NOT info MATCHES "Faces: +19602\n"
       OR NOT info MATCHES "Primitive Types: +triangles\n" OR NOT info MATCHES "Minimum point +\\(-75.000000 -?[0-9.]+ -75.000000\\)"
       OR NOT info MATCHES "Maximum point +\\(73.500000 [0-9.]+ 73.500000\\)")
      fail("assimp info ${mesh}: exit ${result}: ${info} ${error}")
    endif()
  endforeach()
endif()

# Refused shapes and unwritable files: the right exit code, a message naming the limit or the file,
# nothing written and the older file of the same name untouched.
file(MAKE_DIRECTORY ${WORK}/refused)
set(r ${WORK}/refused)
file(WRITE ${r}/blocker "a file, not a folder")
file(WRITE ${r}/h.png "old")
foreach(case "2|16384 samples a side.*koravel-world|--size;16385"
             "2|inside the 100 x 100|--tile;90,0,20,10"
             "2|4 GiB|--size;9000;--mesh;${r}/m.glb"
             "2|2 x 2|--width;1;--mesh;${r}/m.obj"
             "2|whole terrain|--tile;0,0,50,50;--render;${r}/p.png"
             "1|blocker/w.png|--water;${r}/blocker/w.png"
             "2|--talus: the talus angle|--erode;--talus;0.5"
             "2|go with --erode|--erosion-steps;3"
             "2|at most 16384 samples a side|--size;20000;--tile;0,0,8,8;--erode"
             "2|named for two files|--flow;${r}/h.png")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 code)
  list(GET parts 1 reason)
  list(SUBLIST parts 2 -1 arguments)
  run_tool(result output error ${arguments} --heights ${r}/h.png)
  file(GLOB left RELATIVE ${r} ${r}/* ${r}/.*)
  set(kept "")
  if(EXISTS ${r}/h.png)
    file(READ ${r}/h.png kept)
  endif()
  if(NOT result EQUAL code OR NOT error MATCHES "${reason}" OR NOT left STREQUAL "blocker;h.png" OR NOT kept STREQUAL "old")
    fail("'${arguments}': exit ${result}, stderr '${error}', left '${left}', h.png '${kept}'")
  endif()
endforeach()

# An existing file is replaced in full (a rename onto it, on both systems).
run_tool(result output error --seed 1 --heights ${WORK}/replaced.f32)
run_tool(result output error --heights ${WORK}/replaced.f32)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/replaced.f32 ${DATA}/golden/default/heights.f32
                RESULT_VARIABLE differs)
if(differs)
  fail("a second export did not replace the first one's file")
endif()

# A full disk: the write fails, and neither the file nor its temporary stays.
if(NOT EMULATOR)
  file(MAKE_DIRECTORY ${WORK}/full)
  execute_process(COMMAND sh -c "trap '' XFSZ; ulimit -f 64; exec \"$0\" --size 513 --heights \"$1\"/h.png --mesh \"$1\"/m.obj"
                          ${TOOL} ${WORK}/full
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  file(GLOB left RELATIVE ${WORK}/full ${WORK}/full/* ${WORK}/full/.*)
  if(NOT result EQUAL 1 OR NOT error MATCHES "cannot write .*/full/(h.png|m.obj): File too large" OR left)
    fail("full disk: exit ${result}, stderr '${error}', left '${left}'")
  endif()
endif()
# Memory that cannot be had: the amount named, nothing written. (Not under the address
# sanitizer, whose shadow memory needs more address space than the limit leaves.)
if(NOT EMULATOR AND NOT SANITIZED)
  file(MAKE_DIRECTORY ${WORK}/memory)
  # A mesh needs the whole field at once (heights and water); streamed files would need only a few bands.
  execute_process(COMMAND sh -c "ulimit -v 300000; exec \"$0\" --size 8193 --heights \"$1\"/h.f32 --mesh \"$1\"/m.glb"
                          ${TOOL} ${WORK}/memory
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  file(GLOB left RELATIVE ${WORK}/memory ${WORK}/memory/* ${WORK}/memory/.*)
  if(NOT result EQUAL 1 OR NOT error MATCHES "8193 x 8193 samples need 513 MiB" OR left)
    fail("memory limit: exit ${result}, stderr '${error}', left '${left}'")
  endif()
endif()
file(GLOB strays ${WORK}/.*.part)
if(strays)
  fail("temporary files left: ${strays}")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} export check(s) failed")
endif()
message(STATUS "all export checks passed")
