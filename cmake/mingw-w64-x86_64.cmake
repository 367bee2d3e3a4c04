# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain, in its POSIX thread model
# (std::mutex and std::thread, which GoogleTest needs). Every .exe links statically, the
# winpthreads and GCC runtimes included, so it runs on a bare Windows; only Qt is linked as DLLs
# (scripts/windows-qt.sh), which use the runtimes' DLLs shipped beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ELEVARA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ELEVARA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ELEVARA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ELEVARA_MINGW_TRIPLE}-windres)

# Libraries come from the MinGW sysroot, from the static builds of scripts/windows-deps.sh
# (ELEVARA_WINDOWS_DEPS) and from the Qt DLLs of scripts/windows-qt.sh (ELEVARA_WINDOWS_QT), never
# from the build machine; programs come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ELEVARA_MINGW_TRIPLE} ${ELEVARA_WINDOWS_DEPS} ${ELEVARA_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# try_compile() reads this file again and must see the same libraries.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ELEVARA_WINDOWS_DEPS ELEVARA_WINDOWS_QT)
# Qt for Windows runs moc, rcc and uic of the build machine's Qt, which is of the same version
# (the build machine is a 64-bit PC, as Wine for 64-bit Windows needs one).
if(ELEVARA_WINDOWS_QT)
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
# pkg-config sees the same libraries, with the flags of static linking.
set(ENV{PKG_CONFIG_LIBDIR}
    "${ELEVARA_WINDOWS_DEPS}/lib/pkgconfig:/usr/${ELEVARA_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static)
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-static-libraries.cmake)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# -O2 as on Linux: at -O3 GCC 12 warns about memcpy bounds in its own headers that no code
# reaches.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")

# Test programs run under Wine, in a prefix of the build folder's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh
    ${CMAKE_BINARY_DIR}/wine)
