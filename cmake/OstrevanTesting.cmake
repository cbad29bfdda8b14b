# GoogleTest: the system's library natively, the Debian sources when cross-compiling for Windows.
if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(OSTREVAN_GTEST_LIBS gtest gtest_main)
else()
    find_package(GTest REQUIRED)
    set(OSTREVAN_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()
include(GoogleTest)

# ostrevan_add_gtest(target source... LIBS lib...)
# Natively every test case is its own CTest test; under Wine a whole program is one test, because
# each Wine process start costs a tenth of a second or more, and tools/wine-run runs it in its test mode
# (Wine's error channel shown with the output, a failed start of Wine itself tried once more).
function(ostrevan_add_gtest target)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    add_executable(${target} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} ${OSTREVAN_GTEST_LIBS})
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${target} COMMAND ${target})
        set_tests_properties(${target} PROPERTIES TIMEOUT 600)
        set_property(TEST ${target} APPEND PROPERTY ENVIRONMENT OSTREVAN_WINE_TEST=1)
    else()
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
    endif()
endfunction()

# The fuzz build (make fuzz): clang with libFuzzer, ASan and UBSan. Every library is instrumented for the
# fuzzer's coverage feedback; only the targets under tests/fuzz are built as tests.
option(OSTREVAN_FUZZ "Build the libFuzzer targets (clang) instead of the tests" OFF)
if(OSTREVAN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "OSTREVAN_FUZZ needs clang: configure with CXX=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
