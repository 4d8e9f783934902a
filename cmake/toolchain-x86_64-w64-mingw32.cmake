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

# Tests run on this target under Debian's wine64 loader, through a wrapper that
# insists on an explicit Wine prefix and display.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-emulator.sh)
endif()
