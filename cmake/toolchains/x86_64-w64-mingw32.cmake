# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread works), tests run under Wine.
set(KOVA_MINGW_TRIPLE x86_64-w64-mingw32)
set(KOVA_MINGW_ARCH_FLAGS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
