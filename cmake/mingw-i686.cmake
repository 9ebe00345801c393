# 32-bit Windows, the program users get: the port library users install
# (inpout32.dll) is 32-bit, and a 64-bit program cannot load it.
set(MINGW_PROCESSOR i686)
# The win32 thread model: the program starts no thread, and the posix model's
# static winpthreads imports GetTickCount64 (Debian 12), which Windows XP lacks.
# GoogleTest needs the posix model's std::mutex: the windows-unit preset
# builds the unit tests with it (mingw-i686-posix.cmake).
set(MINGW_THREADS win32)
# Debian's wrapper, which runs the 32-bit loader where the kernel lets it.
set(MINGW_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
