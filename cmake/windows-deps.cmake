# Dependencies of a Windows cross build that Debian ships only for the host: the header-only
# CLI11 and nlohmann-json are staged in the build tree (the host's /usr/include must not reach
# the MinGW compiler), and GoogleTest is built from Debian's source package.
set(staged ${CMAKE_BINARY_DIR}/host-headers)
file(COPY /usr/include/CLI /usr/include/nlohmann DESTINATION ${staged})

add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 INTERFACE ${staged})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${staged})
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

if(KORVIT_BUILD_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    set(GTest_FOUND TRUE)
endif()

# Without a Qt for Windows only the core, the CLI and the tests are built.
if(KORVIT_BUILD_GUI AND NOT EXISTS "${KORVIT_QT_WINDOWS_DIR}/lib/cmake/Qt6")
    message(STATUS "No Qt for Windows at '${KORVIT_QT_WINDOWS_DIR}': building without the GUI")
    set(KORVIT_BUILD_GUI OFF)
endif()
set(KORVIT_BUILD_BENCH OFF)
set(KORVIT_BUILD_FUZZ OFF)

# Win32 calls are spelled out (CreateFileW, MoveFileExW); windows.h stays small and leaves
# std::min and std::max alone.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
