# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix); the tests run
# under Wine (Debian: wine64) as the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(notediag_mingw_prefix x86_64-w64-mingw32)
# The posix thread model: GoogleTest and std::thread need it.
set(CMAKE_C_COMPILER ${notediag_mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${notediag_mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${notediag_mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${notediag_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no MinGW runtime DLLs to find at run time, and the tests' replacements
# of operator new and delete reach the standard library too, which a DLL would keep to itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(NOTEDIAG_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
  find_program(NOTEDIAG_WINE NAMES wine64 wine)
  if(NOTEDIAG_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${NOTEDIAG_WINE})
  endif()
endif()
