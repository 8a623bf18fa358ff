set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(velkarin_wine_arch win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
