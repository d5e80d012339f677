# Helpers shared by every folder's CMakeLists.

# Adds every subfolder of the calling folder that has a CMakeLists.txt: folders whose
# subfolders are groups of suites or benchmarks with owners of their own.
function(ac_add_present_subfolders)
  file(GLOB subdirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir IN LISTS subdirs)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

function(ac_component_enabled component out)
  if(component IN_LIST AC_COMPONENTS)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# ac_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#             [TIMEOUT <seconds>] [ENVIRONMENT <VAR=value...>] [BUNDLED_ONLY <reason>]
#             [BUNDLED_ONLY_CASES <gtest filter> <reason>])
#
# One GoogleTest executable registered as one ctest test. Every test gets its own port
# registry directory so suites that open the same port names can run in parallel, and Qt
# runs offscreen. Label `concurrency` puts the suite in the ThreadSanitizer run, label
# `asan` in the AddressSanitizer run.
#
# On an installed YARP every suite runs against a private name server of its own (see
# cmake/YarpTestServer.cmake). A suite that checks the bundled layer's own internals says
# why with BUNDLED_ONLY: there it is not built, and its test only prints the reason and
# reports itself skipped (label `bundled_only`). BUNDLED_ONLY_CASES leaves out only the
# cases matching a GoogleTest filter (e.g. "Suite.Case:Suite.Other") there, with the reason.
function(ac_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;BUNDLED_ONLY" "SOURCES;LIBS;LABELS;ENVIRONMENT;BUNDLED_ONLY_CASES" ${ARGN})
  if(T_BUNDLED_ONLY)
    list(APPEND T_LABELS bundled_only)
    if(NOT AC_YARP_BUNDLED)
      ac_skip_on_system_yarp(${name} "${T_BUNDLED_ONLY}")
      return()
    endif()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(test_args)
  if(T_BUNDLED_ONLY_CASES AND NOT AC_YARP_BUNDLED)
    list(GET T_BUNDLED_ONLY_CASES 0 cases)
    list(GET T_BUNDLED_ONLY_CASES 1 reason)
    set(test_args "--gtest_filter=-${cases}")
    set_property(GLOBAL APPEND PROPERTY AC_SKIPPED_ON_SYSTEM "${name} (only ${cases}): ${reason}")
  endif()
  add_test(NAME ${name} COMMAND ${AC_YARP_LAUNCHER} $<TARGET_FILE:${name}> ${test_args})
  if(NOT AC_YARP_BUNDLED)
    target_link_libraries(${name} PRIVATE ac_test_yarp_network ac_yarp)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  string(MD5 dir_hash "${CMAKE_BINARY_DIR}/${name}")
  string(SUBSTRING "${dir_hash}" 0 10 dir_hash)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "AGENT_CONTROLLER_PORTS=/tmp/ac-ports-${dir_hash};QT_QPA_PLATFORM=offscreen;${T_ENVIRONMENT}")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  foreach(label IN LISTS T_LABELS)
    if(label STREQUAL "concurrency")
      set_property(GLOBAL APPEND PROPERTY AC_CONCURRENCY_TARGETS ${name})
    elseif(label STREQUAL "asan")
      set_property(GLOBAL APPEND PROPERTY AC_ASAN_TARGETS ${name})
    endif()
  endforeach()
endfunction()

# Helper programs a test needs at run time (spawned processes) are added to the
# sanitizer targets too, so the sanitizer trees build only what their suites run.
# A test that stands for a bundled-only suite on an installed YARP: prints why and reports
# itself skipped, so the summary of every tree lists the same suites.
function(ac_skip_on_system_yarp name reason)
  add_test(NAME ${name} COMMAND sh -c "echo \"${name}: skipped on the installed YARP: $1\"; exit 77" sh "${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS bundled_only)
  set_property(GLOBAL APPEND PROPERTY AC_SKIPPED_ON_SYSTEM "${name}: ${reason}")
endfunction()

function(ac_test_helper target)
  set_property(GLOBAL APPEND PROPERTY AC_CONCURRENCY_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY AC_ASAN_TARGETS ${target})
endfunction()

# ac_program_paths(<target> <MACRO> <target or absolute path> ...)
#
# Gives <target>'s sources each MACRO as a C string: the path of the other target's file (or of
# the given path), found at run time relative to <target>'s executable (tests/support/build_path.h).
# Absolute paths of the build tree stay out of the compile command, so every clone compiles the
# same command and the compiler cache serves it.
function(ac_program_paths target)
  set(definitions)
  set(args ${ARGN})
  while(args)
    list(POP_FRONT args macro what)
    if(TARGET ${what})
      set(file "$<TARGET_FILE:${what}>")
    else()
      set(file "${what}")
    endif()
    list(APPEND definitions
         "${macro}=ac_build_path(\"$<PATH:RELATIVE_PATH,${file},$<TARGET_FILE_DIR:${target}>>\")")
  endwhile()
  target_compile_definitions(${target} PRIVATE ${definitions})
  target_compile_options(${target} PRIVATE "SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/build_path.h")
endfunction()

# ac_add_bench(<name> SOURCES <files...> [LIBS <targets...>])
function(ac_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY AC_BENCH_TARGETS ${name})
endfunction()

function(ac_finish_test_targets)
  # The suites a tree on an installed YARP skips, one "name: reason" a line (test.sh prints it).
  get_property(skipped GLOBAL PROPERTY AC_SKIPPED_ON_SYSTEM)
  if(skipped)
    list(JOIN skipped "\n" skipped)
    string(APPEND skipped "\n")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/bundled-only-suites.txt "${skipped}")
  get_property(conc GLOBAL PROPERTY AC_CONCURRENCY_TARGETS)
  get_property(asan GLOBAL PROPERTY AC_ASAN_TARGETS)
  get_property(benches GLOBAL PROPERTY AC_BENCH_TARGETS)
  add_custom_target(concurrency_tests)
  add_custom_target(asan_tests)
  add_custom_target(benchmarks)
  if(conc)
    add_dependencies(concurrency_tests ${conc})
  endif()
  if(asan)
    add_dependencies(asan_tests ${asan})
  endif()
  if(benches)
    add_dependencies(benchmarks ${benches})
  endif()
endfunction()
