# Shared by the two Windows toolchain files: Debian's MinGW-w64 compilers for TUNER_MINGW_TRIPLE,
# in their posix thread model (GoogleTest needs std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TUNER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TUNER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TUNER_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TUNER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
