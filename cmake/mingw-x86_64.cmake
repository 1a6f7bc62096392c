# Cross-build for 64-bit Windows with Debian's MinGW-w64 (x86_64) compilers, posix-threads variant,
# linked statically as the 32-bit build is. Its tests run under 64-bit Wine on machines whose kernel
# runs no 32-bit programs (and so no 32-bit Wine): the same Windows code, the other pointer size.
# The compilers are those the Windows Qt is built with; the whole product's build (with Qt) keeps
# the runtime DLLs instead and uses mingw-x86_64-qt.cmake itself.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64-qt.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
