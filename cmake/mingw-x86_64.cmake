# 64-bit Windows: the same sources, run here under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TUNER_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
