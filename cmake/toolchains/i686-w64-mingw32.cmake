# Cross build for 32-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread works), tests run under Wine.
set(KOVA_MINGW_TRIPLE i686-w64-mingw32)
# GCC's default for i686 is x87 arithmetic with excess precision; 4- and
# 8-byte floats are to be rounded as on x86-64, so they go through SSE2.
set(KOVA_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
