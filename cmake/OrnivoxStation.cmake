# A station kit: one file of "setting = value" lines that holds everything a
# station's own player and package need. Read at configure time; any fault
# stops the configure step with the file, the line and the setting.
#
#   ornivox_read_station(<file> <prefix>)
#     sets <prefix>_<SETTING> for every setting below, upper-cased, in the
#     caller's scope, and <prefix>_DIR (the kit's folder). Text settings that
#     the player shows are also given as <prefix>_<SETTING>_CP1254: the
#     value's bytes in code page 1254, as a C string literal.
#
# Usable from a script too (cmake -P cmake/OrnivoxStation.cmake with
# -DORNIVOX_CHECK_STATION=<file>), which only checks the file.

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
endif()

# setting, whether it may be empty, its check (see _ornivox_station_check).
set(_ORNIVOX_STATION_SETTINGS
  "name|no|shown"
  "slogan|no|shown"
  "home_page|no|address"
  "playlist|no|address"
  "request_host|no|host"
  "maker|no|host"
  "mail_host|yes|host"
  "mail_user|yes|word"
  "mail_password|yes|any"
  "mail_recipients|yes|mailboxes"
  "logo|no|jpeg"
  "settings_file|yes|file"
  "package|no|package"
  "package_summary|no|summary"
  "package_description|no|any"
)

function(_ornivox_station_fail file line setting problem)
  message(FATAL_ERROR "${file}:${line}: ${setting}: ${problem}")
endfunction()

# The value's bytes in code page 1254, each as a three-digit octal escape, so
# that the literal means the same whatever follows it.
function(_ornivox_station_cp1254 file line setting value out)
  string(MD5 key "${file}${setting}")
  set(scratch "${CMAKE_BINARY_DIR}/CMakeFiles/ornivox-station-${key}")
  file(WRITE "${scratch}.utf8" "${value}")
  execute_process(COMMAND iconv -f UTF-8 -t CP1254 "${scratch}.utf8"
    OUTPUT_FILE "${scratch}.cp1254" RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    _ornivox_station_fail("${file}" "${line}" "${setting}" "not UTF-8 text that code page 1254 can hold")
  endif()
  file(READ "${scratch}.cp1254" hex HEX)
  file(REMOVE "${scratch}.utf8" "${scratch}.cp1254")
  set(literal "")
  string(LENGTH "${hex}" length)
  set(at 0)
  while(at LESS length)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR octal "0x${byte}" OUTPUT_FORMAT DECIMAL)
    math(EXPR d1 "${octal} / 64")
    math(EXPR d2 "(${octal} / 8) % 8")
    math(EXPR d3 "${octal} % 8")
    string(APPEND literal "\\${d1}${d2}${d3}")
    math(EXPR at "${at} + 2")
  endwhile()
  set(${out} "\"${literal}\"" PARENT_SCOPE)
endfunction()

function(_ornivox_station_check file line setting check value dir)
  if(check STREQUAL "address")
    if(NOT value MATCHES "^https?://[^ \t/]+(/[^ \t]*)?$")
      _ornivox_station_fail("${file}" "${line}" "${setting}" "not an http:// or https:// address: '${value}'")
    endif()
  elseif(check STREQUAL "host")
    if(NOT value MATCHES "^[A-Za-z0-9.-]+(:[0-9]+)?$")
      _ornivox_station_fail("${file}" "${line}" "${setting}" "not a host name (written without a scheme): '${value}'")
    endif()
  elseif(check STREQUAL "word")
    if(value MATCHES "[ \t]")
      _ornivox_station_fail("${file}" "${line}" "${setting}" "has blanks in it")
    endif()
  elseif(check STREQUAL "mailboxes")
    string(REPLACE "," ";" boxes "${value}")
    foreach(box IN LISTS boxes)
      string(STRIP "${box}" box)
      if(NOT box MATCHES "^[^@ \t<>]+@[^@ \t<>]+$")
        _ornivox_station_fail("${file}" "${line}" "${setting}" "not a comma-separated list of mail addresses: '${box}'")
      endif()
    endforeach()
  elseif(check STREQUAL "jpeg" OR check STREQUAL "file")
    cmake_path(ABSOLUTE_PATH value BASE_DIRECTORY "${dir}" NORMALIZE OUTPUT_VARIABLE path)
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      _ornivox_station_fail("${file}" "${line}" "${setting}" "no file ${path}")
    endif()
    if(check STREQUAL "jpeg")
      file(READ "${path}" magic LIMIT 3 HEX)
      if(NOT magic STREQUAL "ffd8ff")
        _ornivox_station_fail("${file}" "${line}" "${setting}" "${path} is not a JPEG picture")
      endif()
    endif()
  elseif(check STREQUAL "package")
    if(NOT value MATCHES "^[a-z0-9][a-z0-9.+-]+$")
      _ornivox_station_fail("${file}" "${line}" "${setting}"
        "not a Debian package name (lower-case letters, digits, '.', '+' and '-'): '${value}'")
    endif()
  elseif(check STREQUAL "summary")
    string(LENGTH "${value}" length)
    if(length GREATER 80 OR value MATCHES "\\.$")
      _ornivox_station_fail("${file}" "${line}" "${setting}" "a summary is one line of at most 80 characters without a final full stop")
    endif()
  endif()
endfunction()

macro(ornivox_read_station file prefix)
  _ornivox_read_station("${file}" "${prefix}")
  foreach(_ornivox_entry IN LISTS _ORNIVOX_STATION_SETTINGS)
    string(REPLACE "|" ";" _ornivox_entry "${_ornivox_entry}")
    list(GET _ornivox_entry 0 _ornivox_setting)
    string(TOUPPER "${_ornivox_setting}" _ornivox_setting)
    set(${prefix}_${_ornivox_setting} "${_ornivox_result_${_ornivox_setting}}")
    set(${prefix}_${_ornivox_setting}_CP1254 "${_ornivox_result_${_ornivox_setting}_CP1254}")
  endforeach()
  set(${prefix}_DIR "${_ornivox_result_DIR}")
endmacro()

function(_ornivox_read_station file prefix)
  cmake_path(ABSOLUTE_PATH file NORMALIZE OUTPUT_VARIABLE file)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "${file}:0: the station file is missing")
  endif()
  cmake_path(GET file PARENT_PATH dir)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")

  # Lines are read one by one with their numbers; file(STRINGS) would drop
  # the empty ones and so shift every number after them.
  file(READ "${file}" content)
  string(REPLACE ";" "\\;" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(number 0)
  set(seen "")
  foreach(text IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "\r$" "" text "${text}")
    string(STRIP "${text}" stripped)
    if(stripped STREQUAL "" OR stripped MATCHES "^#")
      continue()
    endif()
    if(NOT stripped MATCHES "^([A-Za-z_]+)[ \t]*=(.*)$")
      message(FATAL_ERROR "${file}:${number}: not a 'setting = value' line: '${stripped}'")
    endif()
    set(setting "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" value)
    set(entry "")
    foreach(candidate IN LISTS _ORNIVOX_STATION_SETTINGS)
      if(candidate MATCHES "^${setting}\\|")
        string(REPLACE "|" ";" entry "${candidate}")
      endif()
    endforeach()
    if(NOT entry)
      _ornivox_station_fail("${file}" "${number}" "${setting}" "no such setting")
    endif()
    if(setting IN_LIST seen)
      _ornivox_station_fail("${file}" "${number}" "${setting}" "given twice")
    endif()
    list(APPEND seen "${setting}")
    list(GET entry 1 may_be_empty)
    list(GET entry 2 check)
    if(value STREQUAL "")
      if(NOT may_be_empty)
        _ornivox_station_fail("${file}" "${number}" "${setting}" "must not be empty")
      endif()
    else()
      _ornivox_station_check("${file}" "${number}" "${setting}" "${check}" "${value}" "${dir}")
    endif()
    string(TOUPPER "${setting}" upper)
    if(check STREQUAL "jpeg" OR (check STREQUAL "file" AND NOT value STREQUAL ""))
      cmake_path(ABSOLUTE_PATH value BASE_DIRECTORY "${dir}" NORMALIZE OUTPUT_VARIABLE value)
    endif()
    set(_ornivox_result_${upper} "${value}" PARENT_SCOPE)
    if(check STREQUAL "shown")
      _ornivox_station_cp1254("${file}" "${number}" "${setting}" "${value}" literal)
      # The station line and the slogan label have room for 40 characters.
      string(LENGTH "${literal}" length)
      math(EXPR characters "(${length} - 2) / 4")
      if(characters GREATER 40)
        _ornivox_station_fail("${file}" "${number}" "${setting}" "${characters} characters, more than the window's 40")
      endif()
      set(_ornivox_result_${upper}_CP1254 "${literal}" PARENT_SCOPE)
    endif()
  endforeach()

  foreach(candidate IN LISTS _ORNIVOX_STATION_SETTINGS)
    string(REPLACE "|" ";" entry "${candidate}")
    list(GET entry 0 setting)
    if(NOT setting IN_LIST seen)
      math(EXPR after "${number} + 1")
      _ornivox_station_fail("${file}" "${after}" "${setting}" "missing (every station file gives every setting, empty where allowed)")
    endif()
  endforeach()
  set(_ornivox_result_DIR "${dir}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED ORNIVOX_CHECK_STATION)
  # Scratch files go to the temporary folder, not wherever it was called from.
  set(CMAKE_BINARY_DIR "$ENV{TMPDIR}")
  if(NOT CMAKE_BINARY_DIR)
    set(CMAKE_BINARY_DIR /tmp)
  endif()
  ornivox_read_station("${ORNIVOX_CHECK_STATION}" checked)
  message(STATUS "${ORNIVOX_CHECK_STATION}: station ${checked_NAME}, package ${checked_PACKAGE}")
endif()

# The ORNIVOX_* options that, given on the command line, win over the
# station file's settings: option, setting.
set(_ORNIVOX_STATION_OVERRIDES
  "ORNIVOX_STATION_BRAND|name"
  "ORNIVOX_STATION_SLOGAN|slogan"
  "ORNIVOX_STATION_HOME_PAGE|home_page"
  "ORNIVOX_STATION_PLAYLIST_URL|playlist"
  "ORNIVOX_STATION_WEB_HOST|request_host"
  "ORNIVOX_MAKER_ADDRESS|maker"
  "ORNIVOX_MAIL_HOST|mail_host"
  "ORNIVOX_MAIL_USER|mail_user"
  "ORNIVOX_MAIL_PASSWORD|mail_password"
  "ORNIVOX_MAIL_RECIPIENTS|mail_recipients"
)

# Sets each option of the table as a plain variable: the cache's value when
# someone gave it, else the station's (read with ornivox_read_station into
# <prefix>). Shown texts get <option>_CP1254 too.
macro(ornivox_station_options prefix)
  foreach(_ornivox_pair IN LISTS _ORNIVOX_STATION_OVERRIDES)
    string(REPLACE "|" ";" _ornivox_pair "${_ornivox_pair}")
    list(GET _ornivox_pair 0 _ornivox_option)
    list(GET _ornivox_pair 1 _ornivox_setting)
    string(TOUPPER "${_ornivox_setting}" _ornivox_setting)
    if(DEFINED CACHE{${_ornivox_option}})
      set(${_ornivox_option} "$CACHE{${_ornivox_option}}")
      if(NOT "${${prefix}_${_ornivox_setting}_CP1254}" STREQUAL "")
        _ornivox_station_cp1254("${_ornivox_option}" 0 "${_ornivox_option}" "${${_ornivox_option}}"
                                ${_ornivox_option}_CP1254)
      endif()
    else()
      set(${_ornivox_option} "${${prefix}_${_ornivox_setting}}")
      set(${_ornivox_option}_CP1254 "${${prefix}_${_ornivox_setting}_CP1254}")
    endif()
  endforeach()
endmacro()
