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

# orvanta_add_test(NAME name LABELS unit SOURCES a.cpp b.cpp LIBS x y)
function(orvanta_add_test)
    # OWN_DESKTOP: the test breaks its desktop (kills a bus or a server), so it gets a private one of its own.
    cmake_parse_arguments(T "OWN_DESKTOP" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE orvanta_common orvanta_testsupport GTest::gtest_main GTest::gmock ${T_LIBS})
    if(T_OWN_DESKTOP)
        add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-desktop.sh $<TARGET_FILE:${T_NAME}>)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()
