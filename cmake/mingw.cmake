# The part of the two MinGW toolchains that is alike; the toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and velkarin_wine_arch (win32 or win64) first.
set(CMAKE_SYSTEM_NAME Windows)
set(velkarin_mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${velkarin_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${velkarin_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${velkarin_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${velkarin_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh
    ${velkarin_wine_arch})
