# The Windows build's tests. GoogleTest is compiled from Debian's source
# package (googletest) with the cross compiler; every test program runs
# under Wine, in a Wine prefix that belongs to this build folder alone.
set(ORVANE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(ORVANE_LINUX_BUILD "" CACHE PATH
    "Linux build holding the simulators and the tests that drive the .exe files under Wine")
set(ORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(ORVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANE_WINE_RUN} ${ORVANE_WINEPREFIX})
find_program(ORVANE_WINE wine REQUIRED)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Its targets come with the GTest:: names the tests link against.
add_subdirectory(${ORVANE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The prefix is made once, before any test needs it.
add_test(NAME WinePrefixReady COMMAND ${ORVANE_WINE_RUN} ${ORVANE_WINEPREFIX})
set_tests_properties(WinePrefixReady PROPERTIES FIXTURES_SETUP wine_prefix)

# The programs run on a bare Windows: they may import only Windows' own DLLs,
# none of the compiler's (libstdc++, libgcc, libwinpthread).
add_test(NAME ProgramsNeedOnlyWindowsDlls
         COMMAND ${CMAKE_OBJDUMP} -p $<TARGET_FILE:kestrel> $<TARGET_FILE:boot>
                 $<TARGET_FILE:orvane-dde> $<TARGET_FILE:trmvw32_standin>)
set_tests_properties(ProgramsNeedOnlyWindowsDlls PROPERTIES
    PASS_REGULAR_EXPRESSION "DLL Name: KERNEL32.dll"
    FAIL_REGULAR_EXPRESSION "DLL Name: lib")

# A whole suite run as one test passes only when some of its cases ran and
# none failed (a filter that matches nothing passes in GoogleTest).
set(ORVANE_SUITE_RAN
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9]"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")

# Registers the cases of one suite of a Linux test program from ORVANE_LINUX_BUILD
# that runs an .exe of this build under Wine on the Linux simulators.
function(orvane_wine_process_test suite linux_program)
    add_test(NAME ${suite}
             COMMAND ${ORVANE_LINUX_BUILD}/tests/${linux_program} --gtest_filter=${suite}.*)
    set_tests_properties(${suite} PROPERTIES
        FIXTURES_REQUIRED wine_prefix
        RESOURCE_LOCK wine_dos_devices
        ${ORVANE_SUITE_RAN}
        ENVIRONMENT "ORVANE_BIN=${ORVANE_LINUX_BUILD}/bin;ORVANE_WIN_BIN=${CMAKE_BINARY_DIR}/bin;ORVANE_WINE=${ORVANE_WINE};WINEPREFIX=${ORVANE_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;DISPLAY=")
endfunction()
