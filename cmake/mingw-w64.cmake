# Cross-building Korvit for 64-bit Windows with Debian's MinGW-w64 (posix threads, SEH).
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The Qt for Windows comes from KORVIT_QT_WINDOWS_DIR (cache variable or environment variable),
# default ../shared/qt-windows beside the repository; without one the GUI is left out. Tests and
# cross-built programs run through Wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# -O2 as in the Linux release build: GCC 12 gives false -Wrestrict and -Wstringop warnings at -O3.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")

if(NOT KORVIT_QT_WINDOWS_DIR)
    if(DEFINED ENV{KORVIT_QT_WINDOWS_DIR})
        set(KORVIT_QT_WINDOWS_DIR "$ENV{KORVIT_QT_WINDOWS_DIR}")
    else()
        get_filename_component(KORVIT_QT_WINDOWS_DIR "${CMAKE_CURRENT_LIST_DIR}/../../shared/qt-windows"
            ABSOLUTE)
    endif()
endif()
set(KORVIT_QT_WINDOWS_DIR "${KORVIT_QT_WINDOWS_DIR}" CACHE PATH "Qt 6 built for MinGW-w64")
# try_compile projects see the toolchain file again; pass the folder on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVIT_QT_WINDOWS_DIR)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(EXISTS "${KORVIT_QT_WINDOWS_DIR}/lib/cmake/Qt6")
    list(APPEND CMAKE_FIND_ROOT_PATH "${KORVIT_QT_WINDOWS_DIR}")
    # The host Qt of the same version provides moc, rcc and uic.
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine runs the cross-built tests; wine64 is the 64-bit loader on Debian.
find_program(KORVIT_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORVIT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${KORVIT_WINE}")
endif()
