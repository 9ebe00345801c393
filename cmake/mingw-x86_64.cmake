# 64-bit Windows, for testing only: the same Windows sources, run under the
# 64-bit Wine loader where a kernel cannot run 32-bit programs. Never packed;
# users get the 32-bit program.
set(MINGW_PROCESSOR x86_64)
# The posix thread model, for GoogleTest's std::mutex.
set(MINGW_THREADS posix)
# The loader itself: Debian's wine wrapper picks the 32-bit loader whenever it
# is installed, even where the kernel cannot run it.
set(MINGW_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
