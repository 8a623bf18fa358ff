# Google Test: Debian's package natively (CMake's GTest package), built from
# Debian's source tree when cross-compiling for Windows. Every test links the
# targets GTest::gtest and GTest::gtest_main, however they were found.
enable_testing()
set(VELKARIN_GTEST_SOURCE_DIR /usr/src/googletest/googletest
    CACHE PATH "Google Test sources, built for the Windows cross-builds")
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELKARIN_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Unoptimized, as the tests' own code is (tests/CMakeLists.txt).
  target_compile_options(gtest PRIVATE -Wno-error -O0)
  target_compile_options(gtest_main PRIVATE -Wno-error -O0)
  # Newer googletest trees define the aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Prefixed to the command of a ctest entry that uses the devices' port 8001:
# it runs in a network namespace of its own, with Wine sessions of its own
# under Wine (scripts/netns-run.sh --own), and so may run beside the others.
set(VELKARIN_OWN_NETNS ${PROJECT_SOURCE_DIR}/scripts/netns-run.sh --own)

# Prefixed to the command of a ctest entry that floods the machine with
# datagrams: the lanes of `make test` run side by side, and two floods at once
# (each a Wine program's receives through its wineserver) would starve both.
set(VELKARIN_FLOOD_LOCK flock /tmp/velkarin-flood.lock)

# velkarin_add_test(NAME name SOURCES ... LIBS ... [NETWORK] [DEVICE_PORT] [FLOOD] [SHARDS n]
#                   [WINDOWS_ONLY] [LINUX_ONLY] [ONE_THREAD])
# One test binary is one ctest entry, or `SHARDS` entries name_1..name_n that
# each run a share of its tests side by side. NETWORK tests send datagrams and
# run only inside a private network namespace (scripts/netns-run.sh);
# DEVICE_PORT ones also use port 8001, each in a namespace of its own.
# ONE_THREAD suites test code that runs on one thread only: ThreadSanitizer
# has nothing to check there, so its build leaves them out.
function(velkarin_add_test)
  cmake_parse_arguments(T "NETWORK;DEVICE_PORT;FLOOD;LINUX_ONLY;WINDOWS_ONLY;NO_MAIN;ONE_THREAD" "NAME;TIMEOUT;SHARDS" "SOURCES;LIBS;ENV" ${ARGN})
  if(T_LINUX_ONLY AND WIN32)
    return()
  endif()
  if(T_ONE_THREAD AND VELKARIN_SANITIZE STREQUAL "thread")
    return()
  endif()
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(NOT T_SOURCES)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} velkarin_test_support GTest::gtest)
  endif()
  set(command ${T_NAME})
  if(T_DEVICE_PORT)
    set(command ${VELKARIN_OWN_NETNS} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>)
  endif()
  if(T_FLOOD)
    if(command STREQUAL T_NAME)
      set(command ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>)
    endif()
    set(command ${VELKARIN_FLOOD_LOCK} ${command})
  endif()
  set(labels unit)
  if(T_NETWORK)
    set(labels network)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set(env "VELKARIN_BUILD_DIR=${CMAKE_BINARY_DIR}" "VELKARIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_ENV)
    list(APPEND env ${T_ENV})
  endif()
  set(entries ${T_NAME})
  if(T_SHARDS)
    set(entries "")
    foreach(shard RANGE 1 ${T_SHARDS})
      list(APPEND entries ${T_NAME}_${shard})
    endforeach()
  endif()
  set(shard 0)
  foreach(entry IN LISTS entries)
    add_test(NAME ${entry} COMMAND ${command})
    set(entryEnv ${env})
    if(T_SHARDS)
      list(APPEND entryEnv GTEST_TOTAL_SHARDS=${T_SHARDS} GTEST_SHARD_INDEX=${shard})
      math(EXPR shard "${shard} + 1")
    endif()
    set_tests_properties(${entry} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT}
                         ENVIRONMENT "${entryEnv}")
    # Under Wine a flood is the wineserver's work as much as the program's:
    # the other Wine sessions of the lane wait while it runs.
    if(T_FLOOD AND WIN32)
      set_tests_properties(${entry} PROPERTIES RUN_SERIAL ON)
    endif()
  endforeach()
endfunction()
