# The Windows programs that the browser's hand-off to a viewer under Wine
# needs, cross-built with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) in a
# Windows build of their own inside this build folder, and copied where the
# Linux programs find them: orvane-dde.exe beside the browser in bin/, the
# Windows stand-in viewer as bin/windows/trmvw32.exe (bin/trmvw32.exe is the
# Linux stand-in). Part of every build, so the tests that run them under
# Wine always find them; scripts/install-deps brings the cross compiler.
include(ExternalProject)
set(ORVANE_WINDOWS_HELPERS_BUILD ${CMAKE_BINARY_DIR}/windows-helpers)
set(ORVANE_WINDOWS_STANDIN ${CMAKE_BINARY_DIR}/bin/windows/trmvw32.exe)
ExternalProject_Add(windows_helpers
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${ORVANE_WINDOWS_HELPERS_BUILD}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
               -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
               -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j 2 --target orvane-dde trmvw32_standin
    INSTALL_COMMAND
        ${CMAKE_COMMAND} -E copy <BINARY_DIR>/bin/orvane-dde.exe ${CMAKE_BINARY_DIR}/bin/
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/windows
        COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/bin/trmvw32.exe ${ORVANE_WINDOWS_STANDIN}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/bin/orvane-dde.exe ${ORVANE_WINDOWS_STANDIN})
