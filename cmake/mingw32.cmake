set(CMAKE_SYSTEM_PROCESSOR i686)
set(velkarin_wine_arch win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
