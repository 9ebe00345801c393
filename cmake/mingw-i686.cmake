# 32-bit Windows, the program users get: the port library users install
# (inpout32.dll) is 32-bit, and a 64-bit program cannot load it.
set(MINGW_PROCESSOR i686)
# Debian's wrapper, which runs the 32-bit loader where the kernel lets it.
set(MINGW_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
