# 32-bit Windows with the posix thread model, for the unit tests under Wine:
# GoogleTest needs std::mutex. Never packed.
set(MINGW_PROCESSOR i686)
set(MINGW_THREADS posix)
set(MINGW_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
