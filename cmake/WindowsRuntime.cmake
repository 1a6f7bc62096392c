# formwell_windows_runtime(<target>): a target that puts beside the programs in the build's bin/ what
# a Qt program needs there on Windows, where a program's own folder is searched first: the Qt DLLs,
# the platform plugins (windows for the window, offscreen for the tests), the native style, and the
# MinGW runtime DLLs that Qt's DLLs link (our own programs link it statically). windeployqt does not
# run in a cross-build, so the list is explicit.
function(formwell_windows_runtime name)
  set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(runtime)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    list(APPEND runtime ${path})
  endforeach()
  set(qt $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
  if(FORMWELL_BUILD_TESTS)
    list(APPEND qt $<TARGET_FILE:Qt6::Test>)
  endif()
  set(platforms $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>)
  set(styles $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${runtime} ${qt} ${bin}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${platforms} ${bin}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${styles} ${bin}/styles
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${runtime} ${qt} ${platforms} ${styles}
    COMMENT "Copying Qt and the MinGW runtime beside the programs"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${stamp})
endfunction()
