# formwell_warnings(target): the house warning set, errors unless switched off.
function(formwell_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                              -Wno-sign-conversion)
    if(FORMWELL_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# formwell_add_test(name SOURCES ... LIBS ... [PROPERTIES ...] [ORDINARY_USER pattern]): one GoogleTest
# executable registered with CTest. Tests whose names match the gtest filter pattern ORDINARY_USER
# check what only an ordinary user is refused; they skip themselves as root, carry the label
# needs-ordinary-user, and scripts/test runs them again as nobody when it runs as root.
function(formwell_add_test name)
  cmake_parse_arguments(ARG "" "ORDINARY_USER" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  formwell_warnings(${name})
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120 ${ARG_PROPERTIES})
  if(ARG_ORDINARY_USER)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_ORDINARY_USER}"
                         PROPERTIES ${properties})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_ORDINARY_USER}"
                         PROPERTIES ${properties} LABELS needs-ordinary-user)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()
