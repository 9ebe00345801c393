# 32-bit Windows, the program users get: the port library users install
# (inpout32.dll) is 32-bit, and a 64-bit program cannot load it.
set(MINGW_PROCESSOR i686)
# The thread model whose runtime imports nothing newer than Windows XP SP3 (the
# test xp_imports checks it; the program starts no thread): up to GCC 12
# (Debian 12) the win32 model, as the posix model's static winpthreads imports
# GetTickCount64 there; from GCC 13 on (Debian 13 has GCC 14) the posix model, as the win32
# model's runtime then imports Vista's GetThreadId and condition variables, and
# winpthreads only GetTickCount. GoogleTest needs the posix model's std::mutex:
# the windows-unit preset builds the unit tests with it (mingw-i686-posix.cmake).
execute_process(COMMAND ${MINGW_PROCESSOR}-w64-mingw32-gcc-posix -dumpversion OUTPUT_VARIABLE MINGW_GCC_VERSION
                ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[0-9]+" MINGW_GCC_MAJOR "${MINGW_GCC_VERSION}")
if(MINGW_GCC_MAJOR AND MINGW_GCC_MAJOR LESS 13)
  set(MINGW_THREADS win32)
else()
  set(MINGW_THREADS posix)
endif()
# Debian's wrapper, which runs the 32-bit loader where the kernel lets it.
set(MINGW_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
