# formwell_warnings(target): the house warning set, errors unless switched off.
function(formwell_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                              -Wno-sign-conversion)
    # GCC 12 at -O3 reports overlapping copies inside std::string's operator+ that cannot happen
    # (a known false positive of that release); the Windows cross-build meets it.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(FORMWELL_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# formwell_add_test(name SOURCES ... LIBS ... [PROPERTIES ...] [ORDINARY_USER pattern]): one GoogleTest
# executable registered with CTest. Tests whose names match the gtest filter pattern ORDINARY_USER
# check what only an ordinary user is refused; they skip themselves as root, carry the label
# needs-ordinary-user, and scripts/test runs them again as nobody when it runs as root. Tests matching
# THREADS use more than one thread (or a signal handler) and carry the label threads instead of their
# PROPERTIES' labels: the ThreadSanitizer build runs those alone.
function(formwell_add_test name)
  cmake_parse_arguments(ARG "" "ORDINARY_USER;THREADS" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  formwell_warnings(${name})
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120 ${ARG_PROPERTIES})
  # A cross-built test runs through the emulator (Wine), whose every start costs seconds: one CTest
  # test per executable there, not one per case.
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${properties})
    return()
  endif()
  if(ARG_ORDINARY_USER)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_ORDINARY_USER}"
                         PROPERTIES ${properties})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_ORDINARY_USER}"
                         PROPERTIES ${properties} LABELS needs-ordinary-user)
  elseif(ARG_THREADS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_THREADS}" PROPERTIES ${properties})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_THREADS}"
                         PROPERTIES ${properties} LABELS threads)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()
