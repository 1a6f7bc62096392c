# What a Qt program needs beside it on Windows, where a program's own folder is searched first: the
# Qt DLLs, the platform plugin, the native style, and the MinGW runtime DLLs that Qt's DLLs and ours
# link. windeployqt does not run in a cross-build, so the lists are explicit.
#   FORMWELL_WINDOWS_RUNTIME_DLLS   libstdc++-6, libgcc_s_seh-1, libwinpthread-1 (paths)
#   FORMWELL_WINDOWS_QT_DLLS        Qt6Core, Qt6Gui, Qt6Widgets (generator expressions)
#   FORMWELL_WINDOWS_QT_PLATFORMS   the windows platform plugin, for platforms/
#   FORMWELL_WINDOWS_QT_STYLES      the Windows Vista style, for styles/
set(FORMWELL_WINDOWS_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  list(APPEND FORMWELL_WINDOWS_RUNTIME_DLLS ${path})
endforeach()
set(FORMWELL_WINDOWS_QT_DLLS $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
set(FORMWELL_WINDOWS_QT_PLATFORMS $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
set(FORMWELL_WINDOWS_QT_STYLES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)

# formwell_windows_runtime(<target>): a target that copies all of that into the build's bin/, and for
# the tests QtTest and the offscreen plugin as well, so that the programs run from there.
function(formwell_windows_runtime name)
  set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(qt ${FORMWELL_WINDOWS_QT_DLLS})
  set(platforms ${FORMWELL_WINDOWS_QT_PLATFORMS})
  if(FORMWELL_BUILD_TESTS)
    list(APPEND qt $<TARGET_FILE:Qt6::Test>)
    list(APPEND platforms $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>)
  endif()
  set(runtime ${FORMWELL_WINDOWS_RUNTIME_DLLS})
  set(styles ${FORMWELL_WINDOWS_QT_STYLES})
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
