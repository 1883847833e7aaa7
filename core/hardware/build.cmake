# Compiles the device images in images/ into the core as byte arrays (see ovimages.h).
# Included from core/CMakeLists.txt; the same file runs as the generator script (cmake -P).

if(CMAKE_SCRIPT_MODE_FILE)
  # Hex text of a file's bytes as "0x..," items, 16 to a line.
  function(twr_hex_items file offset out)
    file(READ ${file} hex HEX OFFSET ${offset})
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
    string(REPEAT "0x..," 16 line)
    string(REGEX REPLACE "(${line})" "\\1\n  " hex "${hex}")
    set(${out} "${hex}" PARENT_SCOPE)
  endfunction()

  # Little-endian 32-bit value at an offset of a file.
  function(twr_read_u32 file offset out)
    file(READ ${file} hex HEX OFFSET ${offset} LIMIT 4)
    string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" hex "${hex}")
    math(EXPR value "${hex}" OUTPUT_FORMAT HEXADECIMAL)
    set(${out} ${value} PARENT_SCOPE)
  endfunction()

  file(SIZE ${FX2_IMAGE} fx2Length)
  file(SIZE ${FPGA_IMAGE} fpgaSize)
  twr_hex_items(${FX2_IMAGE} 0 fx2Hex)
  twr_hex_items(${FPGA_IMAGE} 8 fpgaHex)
  twr_read_u32(${FPGA_IMAGE} 0 rows)
  twr_read_u32(${FPGA_IMAGE} 4 checksum)
  math(EXPR rowBytes "${rows} * 16")
  math(EXPR fpgaPayload "${fpgaSize} - 8")
  if(NOT rowBytes EQUAL fpgaPayload)
    message(FATAL_ERROR "${FPGA_IMAGE}: ${rows} rows announced, ${fpgaPayload} row bytes present")
  endif()

  file(WRITE ${OUTPUT}.tmp "// Generated from core/hardware/images by core/hardware/build.cmake; do not edit.
#include \"hardware/ovimages.h\"

const unsigned char fxprog[] = {
  ${fx2Hex}0x00};
unsigned fxprogLength() { return ${fx2Length}; }

const unsigned char fpgaConfigData[] = {
  ${fpgaHex}0x00};
const uint32_t fpgaConfigNumFrames = ${rows};
const uint32_t fpgaConfigChecksum = ${checksum};
")
  file(RENAME ${OUTPUT}.tmp ${OUTPUT})
  return()
endif()

set(twrImagesDir ${CMAKE_CURRENT_SOURCE_DIR}/hardware/images)
set(twrImagesSource ${CMAKE_CURRENT_BINARY_DIR}/hardware/ovimages.cpp)
# The bundled images are stand-ins; a builder with the vendor's images points these at them
# (same formats, see images/README.md).
set(TWR_FX2_IMAGE ${twrImagesDir}/fx2firmware.bin CACHE FILEPATH "FX2 firmware record stream to compile in")
set(TWR_FPGA_IMAGE ${twrImagesDir}/fpgaconfig.bin CACHE FILEPATH "FPGA configuration rows to compile in")
add_custom_command(
  OUTPUT ${twrImagesSource}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/hardware
  COMMAND ${CMAKE_COMMAND} -DFX2_IMAGE=${TWR_FX2_IMAGE} -DFPGA_IMAGE=${TWR_FPGA_IMAGE}
          -DOUTPUT=${twrImagesSource}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/hardware/build.cmake
  DEPENDS ${TWR_FX2_IMAGE} ${TWR_FPGA_IMAGE}
          ${CMAKE_CURRENT_SOURCE_DIR}/hardware/build.cmake
  COMMENT "Embedding the FX2 firmware and FPGA configuration images"
  VERBATIM)
target_sources(twrcore PRIVATE ${twrImagesSource})
