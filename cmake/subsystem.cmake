# Helpers shared by the subsystem folders.

# wfs_subsystem(<name> [DEPENDS <lib>...]): one static library built from every
# source file of the calling folder (and its sub-folders listed in SUBDIRS).
# Subsystem code reports failures through status codes, never exceptions.
function(wfs_subsystem name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;SUBDIRS" ${ARGN})
    set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    foreach(dir IN LISTS ARG_SUBDIRS)
        list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    endforeach()
    file(GLOB sources CONFIGURE_DEPENDS ${patterns})
    if(NOT sources)
        # A subsystem that has no sources yet still takes part in the link order.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fno-exceptions)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# wfs_test_suite(<name> LIBS <lib>...): one GoogleTest program built from every
# *_test.cpp of the calling folder, each test registered with ctest.
function(wfs_test_suite name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT "WFS_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/fixtures")
endfunction()
