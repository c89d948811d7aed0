# Cross build for 32-bit Windows with Debian's MinGW-w64 compiler (posix thread model, so the
# standard library's threads and mutexes work). The programs link libgcc, libstdc++ and
# winpthreads statically and run on a bare Windows.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(AUDIOLENS_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${AUDIOLENS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AUDIOLENS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${AUDIOLENS_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${AUDIOLENS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Doubles are computed in SSE2 registers as on x86-64, not in the x87's 80-bit ones: the numbers
# in reports (ratios, durations) then come out the same to the last digit as on Linux. Every x86
# processor since the Pentium 4 has SSE2, and Windows 8 and later require it.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs (and test discovery) run through Wine on the build machine.
find_program(AUDIOLENS_WINE wine)
if(AUDIOLENS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AUDIOLENS_WINE})
endif()
