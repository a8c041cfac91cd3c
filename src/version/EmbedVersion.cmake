# ornivox_embed_version(<target> <major> <minor> <release> [<build>])
#
# Puts the fixed-file-info record with that file and product version into
# the executable <target>, in the ELF section the about box reads back.
# Each number is 0..65535; the build defaults to 0.
function(ornivox_embed_version target major minor release)
  set(build 0)
  if(ARGC GREATER 4 AND NOT "${ARGV4}" STREQUAL "")
    set(build "${ARGV4}")
  endif()
  foreach(part major minor release build)
    if(NOT "${${part}}" MATCHES "^[0-9]+$" OR "${${part}}" GREATER 65535)
      message(FATAL_ERROR "ornivox_embed_version(${target}): ${part} '${${part}}' is not a number 0..65535")
    endif()
  endforeach()
  math(EXPR VERSION_MS "(${major} << 16) | ${minor}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR VERSION_LS "(${release} << 16) | ${build}" OUTPUT_FORMAT HEXADECIMAL)
  set(VERSION_TARGET "${target}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.cpp")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version_block.cpp.in" "${out}" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
