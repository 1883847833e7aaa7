# Installs the library into a scratch prefix and uses it the way an outside
# client would: the header alone as C, the exported symbols, and the example
# client built with nothing but pkg-config.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, SAMPLE.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${prefix})
# The library for programs, and what building them takes, as the two packages split them.
foreach(component libtwrcore libtwrcore-dev)
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component ${component})
endforeach()

file(GLOB_RECURSE pcFile ${prefix}/*/twrcore.pc)
file(GLOB_RECURSE header ${prefix}/include/twrcore.h)
if(NOT pcFile OR NOT header)
  message(FATAL_ERROR "install lacks twrcore.pc or twrcore.h")
endif()
get_filename_component(pcDir ${pcFile} DIRECTORY)
get_filename_component(libDir ${pcDir} DIRECTORY)

file(GLOB libs RELATIVE ${libDir} ${libDir}/libtwrcore.so*)
list(SORT libs)
if(NOT libs MATCHES "libtwrcore.so;libtwrcore.so.[0-9]+;libtwrcore.so.[0-9]+.[0-9]+.[0-9]+")
  message(FATAL_ERROR "expected the library with its soname and version links, found: ${libs}")
endif()
run(readelf -d ${libDir}/libtwrcore.so)
if(NOT out MATCHES "SONAME[^\n]*libtwrcore\\.so\\.[0-9]+\\]")
  message(FATAL_ERROR "no versioned soname:\n${out}")
endif()

# Exactly the C interface, nothing of the core or the C++ runtime.
run(nm -D --defined-only ${libDir}/libtwrcore.so)
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${out}")
set(exported "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] ([^@]*).*" "\\1" name "${line}")
  if(NOT name STREQUAL "TWRCORE_1")
    list(APPEND exported ${name})
  endif()
endforeach()
list(SORT exported)
set(expected exh getBoxStrX getCaptureCount getCaptureDone getDecodeDone getDecodedCount getHardwareChanged
  getHardwareStatus getPacketDataRow getPacketDataRowCount getPacketDataRowX getRun getSerial getSerialX getStop
  linix2rowptr loh sampleFileRead setConnect setNeeded setRun setStop sniffEnd sniffInit startDecode statusText
  version versionX)
string(REPLACE ";" " " exported "${exported}")
string(REPLACE ";" " " expected "${expected}")
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported symbols:\n  ${exported}\nexpected:\n  ${expected}")
endif()

run(cc -x c -std=c99 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only ${header})

set(ENV{PKG_CONFIG_PATH} ${pcDir})
run(pkg-config --cflags --libs twrcore)
separate_arguments(flags UNIX_COMMAND "${out}")
run(cc -std=c99 -Wall -Wextra -Werror ${SOURCE_DIR}/examples/twrclient.c ${flags} -o ${WORK_DIR}/twrclient)

set(ENV{LD_LIBRARY_PATH} ${libDir})
run(${WORK_DIR}/twrclient ${SAMPLE})
foreach(want "libtwrcore DLL/SO," "22 rows" "row 0 text: RESET" "row 19 boxes: g")
  string(FIND "${out}" "${want}" at)
  if(at LESS 0)
    message(FATAL_ERROR "client output lacks \"${want}\":\n${out}")
  endif()
endforeach()
