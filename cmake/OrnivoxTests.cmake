# Test programs and their CTest entries.
#
# ornivox_gtest(<name>
#   SOURCES <file>...                 the program's sources
#   [LIBRARIES <target>...]           what it links (GoogleTest's main unless MAIN)
#   [MAIN]                            the sources bring their own main()
#   [IN <wrapper>...]                 runs inside: netns (only loopback answers),
#                                     xvfb (an X server of its own), dbus (a
#                                     session bus of its own), outermost first
#   [SHARDS <n>]                      splits the program's tests into n CTest
#                                     entries (GoogleTest's own sharding), each
#                                     running the program under its own name
#   [TIMEOUT <s>] [ENVIRONMENT <var=value>...] [LABELS <label>...]
#   [WIDGETS]                         uses the toolkit's widgets (for the
#                                     precompiled headers it takes)
#   [REALTIME])                       plays through the device in real time
#
# A program is run whole, or in shards: its tests share the process's start
# and the wrapper's set-up. CTest's parallel slots are counted as two per
# processor (scripts/test.sh runs "ctest -j <2 or 3 x processors>"): an entry
# marked REALTIME takes two, and a lane of its own, one lane per core, so no
# more of them play at once than there are processors; any other entry takes
# one slot.
set(ORNIVOX_FIXTURES "${PROJECT_SOURCE_DIR}/tests/fixtures")
# LeakSanitizer: what system libraries under the toolkit keep for the
# process's life. For the tests that start the toolkit (and the programs
# they start, which inherit it).
set(ORNIVOX_LSAN_ENV "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

# The real-time test entries take turns in as many lanes as the machine has
# cores (a lock each, handed out in turn), so no more of them play at once
# than there are processors, however many slots CTest runs.
cmake_host_system_information(RESULT ORNIVOX_CORES QUERY NUMBER_OF_LOGICAL_CORES)
function(ornivox_realtime_lane test)
  get_property(next GLOBAL PROPERTY ORNIVOX_REALTIME_NEXT)
  if(NOT next)
    set(next 0)
  endif()
  math(EXPR lane "${next} % ${ORNIVOX_CORES}")
  math(EXPR next "${next} + 1")
  set_property(GLOBAL PROPERTY ORNIVOX_REALTIME_NEXT ${next})
  set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK "ornivox_core_${lane}")
endfunction()

# Runs the tests of <program> that match <filter> (all for "*") again, as
# the entry <program>.<suffix>: in its own network namespace, inside the
# display fixture <display> (with_xvfb.sh, with_weston.sh) with the one
# environment setting <setting>. Its GoogleTest report (scripts/test.sh
# counts them) gets the entry's name: the program's own would be the main
# entry's.
function(_ornivox_run_again program suffix filter display setting)
  add_test(NAME ${program}.${suffix}
    COMMAND "${ORNIVOX_FIXTURES}/in_netns.sh" "${ORNIVOX_FIXTURES}/${display}"
            $<TARGET_FILE:${program}> --gtest_filter=${filter})
  set(report "GTEST_OUTPUT=xml:${CMAKE_BINARY_DIR}/gtest-reports/${program}.${suffix}.xml")
  set_tests_properties(${program}.${suffix} PROPERTIES ENVIRONMENT "${setting};${ORNIVOX_LSAN_ENV};${report}"
                       TIMEOUT 120)
endfunction()

# Under a window manager (openbox) in an X server: <program>.openbox.
function(ornivox_under_window_manager program filter)
  _ornivox_run_again(${program} openbox ${filter} with_xvfb.sh ORNIVOX_WINDOW_MANAGER=openbox)
endfunction()

# In an X server with two screens of different sizes, on the second one:
# <program>.two_screens.
function(ornivox_on_two_screens program filter)
  _ornivox_run_again(${program} two_screens ${filter} with_xvfb.sh ORNIVOX_SECOND_SCREEN=1280x1024x24)
endfunction()

# On a headless Weston compositor's own Wayland display, with no X server
# there: <program>.wayland.
function(ornivox_on_wayland program filter)
  _ornivox_run_again(${program} wayland ${filter} with_weston.sh QT_QPA_PLATFORM=wayland)
endfunction()

# At each of the toolkit's scale factors given: <program>.scale<factor> (a
# dot in the factor becomes an underscore).
function(ornivox_at_scale_factors program)
  foreach(factor ${ARGN})
    string(REPLACE "." "_" tag "${factor}")
    _ornivox_run_again(${program} scale${tag} "*" with_xvfb.sh QT_SCALE_FACTOR=${factor})
  endforeach()
endfunction()

function(ornivox_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "MAIN;REALTIME;WIDGETS" "SHARDS;TIMEOUT"
                        "SOURCES;LIBRARIES;IN;ENVIRONMENT;LABELS")
  add_executable(${name} ${arg_SOURCES})
  ornivox_automoc_where_needed(${name})
  if(arg_WIDGETS)
    target_precompile_headers(${name} REUSE_FROM ornivox_test_pch_widgets)
  else()
    target_precompile_headers(${name} REUSE_FROM ornivox_test_pch_gtest)
  endif()
  if(arg_MAIN)
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest_main)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  set(environment ${arg_ENVIRONMENT} "${ORNIVOX_LSAN_ENV}")

  set(launcher "")
  foreach(wrapper IN LISTS arg_IN)
    if(wrapper STREQUAL "netns")
      list(APPEND launcher "${ORNIVOX_FIXTURES}/in_netns.sh")
    elseif(wrapper STREQUAL "xvfb")
      list(APPEND launcher "${ORNIVOX_FIXTURES}/with_xvfb.sh")
    elseif(wrapper STREQUAL "dbus")
      list(APPEND launcher dbus-run-session --)
    else()
      message(FATAL_ERROR "ornivox_gtest(${name}): unknown wrapper ${wrapper}")
    endif()
  endforeach()

  # Lists inside a property list are written with escaped separators, so
  # that each stays one value when the list is spread out.
  string(REPLACE ";" "\\;" environment "${environment}")
  set(labels ${arg_LABELS})
  if(arg_REALTIME)
    list(PREPEND labels realtime)
  endif()
  string(REPLACE ";" "\\;" labels "${labels}")
  set(properties TIMEOUT ${arg_TIMEOUT} ENVIRONMENT "${environment}")
  if(labels)
    list(APPEND properties LABELS "${labels}")
  endif()
  if(arg_REALTIME)
    # COST starts them first: on a fresh clone CTest has no timings yet, and a
    # long real-time test begun last would leave the other processor idle.
    list(APPEND properties PROCESSORS 2 COST 100)
  endif()

  # A program is one entry (or one per shard), not one per test: each process
  # costs a start of its own, a fifth of a second under the sanitizers, and
  # most of these programs run all their tests in less. A failing test is
  # still named in the entry's output.
  if(NOT arg_SHARDS)
    set(arg_SHARDS 1)
  endif()
  if(arg_SHARDS EQUAL 1)
    add_test(NAME ${name} COMMAND ${launcher} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ${properties})
    if(arg_REALTIME)
      ornivox_realtime_lane(${name})
    endif()
    return()
  endif()
  # Each shard runs the program under a name of its own (a hard link made
  # after every link step): what a test keeps beside its running program,
  # such as the player's settings file, is then its shard's alone while the
  # shards run side by side.
  math(EXPR last "${arg_SHARDS} - 1")
  foreach(shard RANGE ${last})
    # No dot in the name: the settings file replaces what follows a dot.
    set(program "$<TARGET_FILE_DIR:${name}>/${name}-shard${shard}")
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E rm -f "${program}"
      COMMAND ${CMAKE_COMMAND} -E create_hardlink "$<TARGET_FILE:${name}>" "${program}")
    add_test(NAME ${name}.${shard} COMMAND ${launcher} "${program}")
    set_tests_properties(${name}.${shard} PROPERTIES ${properties})
    set_property(TEST ${name}.${shard} APPEND PROPERTY ENVIRONMENT
                 "GTEST_TOTAL_SHARDS=${arg_SHARDS}" "GTEST_SHARD_INDEX=${shard}")
    if(arg_REALTIME)
      ornivox_realtime_lane(${name}.${shard})
    endif()
  endforeach()
endfunction()
