# The program's targets and the one direction they may depend in.
#
# Every header is included as "folder/file.h". A target sees the headers of
# its own folder and the public headers of what it links, nothing else: the
# configure step gives each target two folders of links under
# <build>/include/, one holding its public headers (what its users see) and
# one holding its own folder (what its sources see). A header that a target
# does not export therefore cannot be included from elsewhere, whatever the
# include path says.
#
# The layers, from the bottom. A target may link what lies in a lower layer
# or in its own folder; ornivox_check_layers() stops the configure step on
# any other edge.
set(ORNIVOX_LAYERS
  "text"
  "audio"
  "station|metadata|playlist|settings|desktop|mail|version|resources"
  "player"
  "ui/common|ui/shape"
  "ui/widgets"
  "ui/about|ui/requests"
  "ui/main"
  "ui/mpris"
  "app|tools"
)

# The folder a target's headers are included under: its directory below
# src/ (or below tests/, or below the project root for resources/).
function(_ornivox_folder out)
  cmake_path(RELATIVE_PATH CMAKE_CURRENT_SOURCE_DIR BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE rel)
  if(rel MATCHES "^(src|tests)/(.+)$")
    set(rel "${CMAKE_MATCH_2}")
  endif()
  set(${out} "${rel}" PARENT_SCOPE)
endfunction()

# Makes <dir>/<folder> a link to <target>: each level of the folder path is a
# real directory, the last one a link.
function(_ornivox_link dir folder target)
  cmake_path(GET folder PARENT_PATH parent)
  file(MAKE_DIRECTORY "${dir}/${parent}")
  file(CREATE_LINK "${target}" "${dir}/${folder}" SYMBOLIC)
endfunction()

# The toolkit's meta-object compiler only where a class needs it (it is off
# by default, CMakeLists.txt): for every other target its step would scan
# the sources for nothing and add a unit of its own to compile. It looks
# where the compiler's AUTOMOC looks: in each source and in the header of the
# same name beside it. Every target made through ornivox_library,
# ornivox_program and ornivox_gtest gets this; a plain add_executable with
# such a class calls it itself.
function(ornivox_automoc_where_needed name)
  get_target_property(sources ${name} SOURCES)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    cmake_path(REPLACE_EXTENSION source LAST_ONLY .h OUTPUT_VARIABLE header)
    foreach(file IN ITEMS "${source}" "${header}")
      if(EXISTS "${file}")
        file(STRINGS "${file}" found REGEX "Q_(OBJECT|GADGET|NAMESPACE)" LIMIT_COUNT 1)
        if(found)
          set_target_properties(${name} PROPERTIES AUTOMOC ON)
          return()
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()

function(_ornivox_stage name kind folder public_headers)
  if(NOT kind STREQUAL "INTERFACE")
    ornivox_automoc_where_needed(${name})
  endif()
  set(public_dir "${CMAKE_BINARY_DIR}/include/${name}")
  set(private_dir "${CMAKE_BINARY_DIR}/include/${name}.own")
  file(REMOVE_RECURSE "${public_dir}" "${private_dir}")
  file(MAKE_DIRECTORY "${public_dir}")
  foreach(header IN LISTS public_headers)
    if(NOT EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${header}")
      message(FATAL_ERROR "${name}: public header ${header} is not in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    _ornivox_link("${public_dir}" "${folder}/${header}" "${CMAKE_CURRENT_SOURCE_DIR}/${header}")
  endforeach()
  _ornivox_link("${private_dir}" "${folder}" "${CMAKE_CURRENT_SOURCE_DIR}")
  if(kind STREQUAL "INTERFACE")
    target_include_directories(${name} INTERFACE "${public_dir}")
  elseif(kind STREQUAL "EXECUTABLE")
    target_include_directories(${name} PRIVATE "${private_dir}")
  else()
    target_include_directories(${name} PUBLIC "$<BUILD_INTERFACE:${public_dir}>" PRIVATE "${private_dir}")
  endif()
  # Tests and fuzz targets may look inside: <name>_internals.
  if(NOT kind STREQUAL "EXECUTABLE")
    add_library(${name}_internals INTERFACE)
    target_include_directories(${name}_internals INTERFACE "${private_dir}")
    target_link_libraries(${name}_internals INTERFACE ${name})
  endif()
  # The program's own targets take part in the layer check; the tests'
  # libraries only share the include rules.
  cmake_path(RELATIVE_PATH CMAKE_CURRENT_SOURCE_DIR BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE rel)
  if(NOT rel MATCHES "^(tests|bench)(/|$)")
    set_property(GLOBAL APPEND PROPERTY ORNIVOX_TARGETS ${name})
    set_target_properties(${name} PROPERTIES ORNIVOX_FOLDER "${folder}")
    # One compiler run per library instead of one per file: the toolkit's
    # and the C++ library's headers are read once.
    if(ORNIVOX_UNITY AND NOT kind STREQUAL "INTERFACE")
      set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
    endif()
  endif()
endfunction()

# ornivox_library(<name> <STATIC|MODULE|INTERFACE>
#                 [PUBLIC_HEADERS <file>...] [SOURCES <file>...]
#                 [PUBLIC <dependency>...] [PRIVATE <dependency>...])
function(ornivox_library name kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC_HEADERS;SOURCES;PUBLIC;PRIVATE")
  _ornivox_folder(folder)
  if(kind STREQUAL "INTERFACE")
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${arg_PUBLIC})
  else()
    add_library(${name} ${kind} ${arg_SOURCES})
    target_link_libraries(${name} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
  endif()
  _ornivox_stage(${name} ${kind} "${folder}" "${arg_PUBLIC_HEADERS}")
endfunction()

# ornivox_program(<name> SOURCES <file>... [PRIVATE <dependency>...])
function(ornivox_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;PRIVATE")
  _ornivox_folder(folder)
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_PRIVATE})
  _ornivox_stage(${name} EXECUTABLE "${folder}" "")
endfunction()

function(_ornivox_rank folder out)
  set(rank 0)
  foreach(layer IN LISTS ORNIVOX_LAYERS)
    math(EXPR rank "${rank} + 1")
    string(REPLACE "|" ";" members "${layer}")
    foreach(member IN LISTS members)
      if(folder STREQUAL member OR folder MATCHES "^${member}/")
        set(${out} ${rank} PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# Writes <build>/layers.txt, one line per program target ("layer folder
# target: its direct dependencies among ours"), and stops at the first edge
# that points up or sideways. Runs once the whole tree is read.
function(ornivox_check_layers)
  get_property(targets GLOBAL PROPERTY ORNIVOX_TARGETS)
  set(report "")
  set(wrong "")
  foreach(target IN LISTS targets)
    get_target_property(folder ${target} ORNIVOX_FOLDER)
    _ornivox_rank("${folder}" rank)
    if(rank STREQUAL "")
      continue()  # tests, benchmarks
    endif()
    get_target_property(type ${target} TYPE)
    set(deps "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${target} LINK_LIBRARIES)
      if(direct)
        list(APPEND deps ${direct})
      endif()
    endif()
    get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND deps ${interface})
    endif()
    set(ours "")
    foreach(dep IN LISTS deps)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
      if(NOT TARGET ${dep})
        continue()
      endif()
      get_target_property(dep_folder ${dep} ORNIVOX_FOLDER)
      if(NOT dep_folder)
        continue()
      endif()
      list(APPEND ours ${dep})
      _ornivox_rank("${dep_folder}" dep_rank)
      if(NOT dep_folder STREQUAL folder AND NOT dep_rank LESS rank)
        list(APPEND wrong "${target} (${folder}) -> ${dep} (${dep_folder})")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES ours)
    list(JOIN ours " " ours_text)
    string(APPEND report "${rank} ${folder} ${target}: ${ours_text}\n")
  endforeach()
  file(WRITE "${CMAKE_BINARY_DIR}/layers.txt" "${report}")
  if(wrong)
    list(JOIN wrong "\n  " wrong_text)
    message(FATAL_ERROR "Targets that link upwards or sideways:\n  ${wrong_text}")
  endif()
endfunction()
