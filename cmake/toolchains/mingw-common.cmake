# What both Windows targets share; KOVA_MINGW_TRIPLE and KOVA_MINGW_ARCH_FLAGS
# come from the target's toolchain file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KOVA_MINGW_TRIPLE})

set(CMAKE_C_COMPILER ${KOVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KOVA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KOVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The wide API, Windows 7 and later.
set(CMAKE_CXX_FLAGS_INIT "${KOVA_MINGW_ARCH_FLAGS} -D_WIN32_WINNT=0x0601 -DUNICODE -D_UNICODE")
set(CMAKE_C_FLAGS_INIT "${KOVA_MINGW_ARCH_FLAGS} -D_WIN32_WINNT=0x0601")
# One .exe each, the compiler's runtime inside: nothing else to install.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, each in the prefix that WINEPREFIX names.
find_program(KOVA_WINE NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KOVA_WINE})
