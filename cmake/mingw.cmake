# Windows with MinGW-w64 from Debian, for the processor that the including
# toolchain file names in MINGW_PROCESSOR (i686 or x86_64), with the thread
# model it names in MINGW_THREADS (win32 or posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${MINGW_PROCESSOR}-w64-mingw32-gcc-${MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${MINGW_PROCESSOR}-w64-mingw32-g++-${MINGW_THREADS})
set(CMAKE_RC_COMPILER ${MINGW_PROCESSOR}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run here under Wine, with the loader for their word size and,
# where the system allows it, an address space laid out without randomness: a
# Wine process whose heap the kernel puts over Windows' shared page at
# 0x7ffe0000 never reaches the program (tests/wine_support.cpp says more).
execute_process(COMMAND setarch -R true RESULT_VARIABLE MINGW_LAYOUT_FIXED OUTPUT_QUIET ERROR_QUIET)
if(MINGW_LAYOUT_FIXED EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR setarch -R ${MINGW_WINE_LOADER})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_WINE_LOADER})
endif()
