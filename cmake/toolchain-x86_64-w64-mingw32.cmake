# Cross toolchain for the x86_64 Windows target. The -posix compilers are
# required: GoogleTest needs std::mutex, which the win32 thread model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORBA_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${ORBA_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORBA_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORBA_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORBA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run on this target under Debian's wine64 loader, which is not on the PATH.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ORBA_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(ORBA_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ORBA_WINE64})
  endif()
endif()
