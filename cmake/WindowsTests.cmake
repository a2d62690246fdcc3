# The Windows build's tests, cross-built with MinGW-w64 and run under Wine on the build machine.

# GoogleTest from Debian's source package (googletest), built with the tests.
set(VELMO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VELMO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library gtest gtest_main gmock gmock_main)
    # Its headers count as the system's, as an installed GoogleTest's do: our warnings are
    # errors, its own are not ours.
    get_target_property(directories ${library} INTERFACE_INCLUDE_DIRECTORIES)
    set_target_properties(${library} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES
                                                "${directories}")
endforeach()

# Every Windows program the build runs (a build-time tool, a test) runs under Wine, in a prefix
# of its own inside the build folder, so that nothing of the user's Wine is touched.
find_program(VELMO_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VELMO_WINE64 wine64 REQUIRED)
find_program(VELMO_WINESERVER wineserver REQUIRED)
set(VELMO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(VELMO_WINE_ENVIRONMENT WINEPREFIX=${VELMO_WINE_PREFIX} WINEDEBUG=-all)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${VELMO_WINE_ENVIRONMENT} ${VELMO_WINE64})

# Wine's services keep a program's output open for about three seconds after it has ended,
# unless a server that stays keeps them running: started once before the tests (and the prefix
# made, if it is new; one that an interrupted run left is replaced), stopped after them.
# They must not hold this test's output open, or ctest would wait for them.
add_test(NAME Wine.Start
    COMMAND sh -c "exec >/dev/null 2>&1 </dev/null; \"$1\" -k; \"$1\" -p && \"$2\" wineboot.exe -i"
            sh ${VELMO_WINESERVER} ${VELMO_WINE64})
add_test(NAME Wine.Stop COMMAND sh -c "\"$1\" -k || true" sh ${VELMO_WINESERVER})
set_tests_properties(Wine.Start PROPERTIES FIXTURES_SETUP wine
    ENVIRONMENT "${VELMO_WINE_ENVIRONMENT}")
set_tests_properties(Wine.Stop PROPERTIES FIXTURES_CLEANUP wine
    ENVIRONMENT "${VELMO_WINE_ENVIRONMENT}")
