# One interface target carries the language level, warnings and Qt strictness for every target.
add_library(orvanta_common INTERFACE)
target_compile_features(orvanta_common INTERFACE cxx_std_20)
target_compile_options(orvanta_common INTERFACE -Wall -Wextra)
target_compile_definitions(orvanta_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_KEYWORDS
    QT_NO_FOREACH
    QT_NO_URL_CAST_FROM_STRING)
target_include_directories(orvanta_common INTERFACE ${PROJECT_SOURCE_DIR})
if(ORVANTA_WERROR)
    target_compile_options(orvanta_common INTERFACE -Werror)
endif()

# Sanitizers for every target of ours (Qt and the system libraries stay uninstrumented), e.g.
# -DORVANTA_SANITIZE=address,undefined or =thread; used with clang by scripts/sanitize.sh and
# scripts/tsan.sh. Any report stops the program so that the test fails.
set(ORVANTA_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined / thread), empty for none")
# libFuzzer targets in fuzz/ (clang): the code they reach is instrumented for coverage as well.
option(ORVANTA_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)
set(orvanta_sanitizers ${ORVANTA_SANITIZE})
if(ORVANTA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ORVANTA_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
    endif()
    if(NOT orvanta_sanitizers)
        set(orvanta_sanitizers address,undefined)
    endif()
    target_compile_options(orvanta_common INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(orvanta_sanitizers)
    target_compile_options(orvanta_common INTERFACE
        -fsanitize=${orvanta_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(orvanta_common INTERFACE -fsanitize=${orvanta_sanitizers})
    # clang 14 cannot emit the function-type check's prologue for split coroutines ("Cannot represent a
    # difference across sections"); that check only concerns calls through mistyped function pointers.
    if(orvanta_sanitizers MATCHES "undefined")
        target_compile_options(orvanta_common INTERFACE -fno-sanitize=function)
        target_link_options(orvanta_common INTERFACE -fno-sanitize=function)
    endif()
endif()

# orvanta_add_test(NAME name LABELS unit SOURCES a.cpp b.cpp LIBS x y)
function(orvanta_add_test)
    # OWN_DESKTOP: the test breaks its desktop (kills a bus or a server), so it gets a private one of its own.
    # WAYLAND: runs once inside each of these headless Wayland desktops (scripts/with-wayland.sh), as
    # NAME_<desktop>.
    # QT_MAIN: the test's code needs a Qt application object; tests/support/QtCoreTestMain.cpp makes one.
    cmake_parse_arguments(T "OWN_DESKTOP;QT_MAIN" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS;WAYLAND" ${ARGN})
    if(T_QT_MAIN)
        list(APPEND T_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/QtCoreTestMain.cpp)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE orvanta_common orvanta_testsupport GTest::gtest_main GTest::gmock ${T_LIBS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(T_WAYLAND)
        foreach(desktop ${T_WAYLAND})
            add_test(NAME ${T_NAME}_${desktop} COMMAND ${CMAKE_COMMAND} -E env
                ORVANTA_SEAT_KEYBOARD=$<TARGET_FILE:wayland_seat_keyboard>
                ${PROJECT_SOURCE_DIR}/scripts/with-wayland.sh ${desktop} $<TARGET_FILE:${T_NAME}>)
            set_tests_properties(${T_NAME}_${desktop} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
        endforeach()
        add_dependencies(${T_NAME} wayland_seat_keyboard)
        return()
    endif()
    if(T_OWN_DESKTOP)
        add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-desktop.sh $<TARGET_FILE:${T_NAME}>)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# With ORVANTA_UNITY_BUILD, the named libraries compile in batches. Sources that include Xlib stay out of
# the batches (SKIP_UNITY_BUILD_INCLUSION where they are listed): its macros (Bool, Status, None) break
# the Qt headers that follow them.
function(orvanta_unity_build)
    if(NOT ORVANTA_UNITY_BUILD)
        return()
    endif()
    foreach(target IN LISTS ARGN)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 16)
        # A type from a file's anonymous namespace in a coroutine frame reads to GCC as one from a header.
        target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
    endforeach()
endfunction()
