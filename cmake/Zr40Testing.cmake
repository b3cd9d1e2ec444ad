# zr40_add_test(NAME LABEL <layer> SOURCES ... [LIBS ...] [RESOURCE_LOCK <name>] [ENVIRONMENT ...]
#               [LAUNCHER <program>] [CONFIGURATION <name>])
#
# One GoogleTest executable registered as one CTest test carrying its layer's label, so that
# `ctest -L machine` runs one layer. Tests that start the simulator share the resource lock
# "simulator": its named objects are global to the machine. A LAUNCHER runs the test program
# (umockdev-wrapper for the tests on an emulated USB bus). A CONFIGURATION keeps the test out of
# the default run: only `ctest -C <name>` runs it (the soak test).
set(ZR40_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/../tests/lsan.supp)
# The programs take their locks in one fixed folder that the package creates; the tests use one
# of the build tree's, made as the package makes its own (world-writable, sticky).
set(ZR40_TEST_LOCK_DIR ${PROJECT_BINARY_DIR}/locks)
file(MAKE_DIRECTORY ${ZR40_TEST_LOCK_DIR})
file(CHMOD ${ZR40_TEST_LOCK_DIR} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_WRITE GROUP_EXECUTE WORLD_READ WORLD_WRITE WORLD_EXECUTE)
execute_process(COMMAND chmod +t ${ZR40_TEST_LOCK_DIR})

function(zr40_add_test name)
    cmake_parse_arguments(T "" "LABEL;RESOURCE_LOCK;TIMEOUT;LAUNCHER;CONFIGURATION" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "test ${name} needs a LABEL naming its layer")
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
    if(T_CONFIGURATION)
        # Run only by `ctest -C <configuration>`, never in the default run.
        add_test(NAME ${name} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${name}>
                 CONFIGURATIONS ${T_CONFIGURATION})
    else()
        add_test(NAME ${name} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${name}>)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS ${T_LABEL}
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZR40_LOCK_DIR=${ZR40_TEST_LOCK_DIR};LSAN_OPTIONS=suppressions=${ZR40_LSAN_SUPPRESSIONS}:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;${T_ENVIRONMENT}")
    if(T_RESOURCE_LOCK)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${T_RESOURCE_LOCK})
    endif()
endfunction()
