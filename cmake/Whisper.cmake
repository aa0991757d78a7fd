# The embedded recognizer links whisper.cpp, built here from the source scripts/fetch-whisper.sh unpacks.
# ORVANTA_WHISPER: AUTO builds it when that source is found, ON requires it, OFF leaves PocketSphinx alone.
# It builds as its own CMake project (its flags are not ours: no -Werror, no sanitizers) into the build
# tree, with the same compiler launcher, so a second build tree takes its objects from the compiler cache.
set(ORVANTA_WHISPER AUTO CACHE STRING "Embedded whisper.cpp recognizer: AUTO, ON or OFF")
set_property(CACHE ORVANTA_WHISPER PROPERTY STRINGS AUTO ON OFF)
if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(orvanta_whisper_default_source "$ENV{XDG_CACHE_HOME}/orvanta/whisper.cpp-1.9.1")
else()
    set(orvanta_whisper_default_source "$ENV{HOME}/.cache/orvanta/whisper.cpp-1.9.1")
endif()
if(DEFINED ENV{ORVANTA_WHISPER_SOURCE})
    set(orvanta_whisper_default_source "$ENV{ORVANTA_WHISPER_SOURCE}")
endif()
set(ORVANTA_WHISPER_SOURCE "${orvanta_whisper_default_source}" CACHE PATH "whisper.cpp source (scripts/fetch-whisper.sh)")
# AVX2 (with FMA and F16C) where this machine has it: the binary then runs on any x86-64 with AVX2.
# Elsewhere the plain x86-64 build. Never tuned to this very CPU.
set(ORVANTA_WHISPER_CPU AUTO CACHE STRING "whisper.cpp CPU level: AUTO, AVX2 or PLAIN")

set(ORVANTA_HAVE_WHISPER OFF)
if(NOT ORVANTA_WHISPER STREQUAL "OFF")
    if(EXISTS "${ORVANTA_WHISPER_SOURCE}/include/whisper.h")
        set(ORVANTA_HAVE_WHISPER ON)
    elseif(ORVANTA_WHISPER STREQUAL "ON")
        message(FATAL_ERROR "ORVANTA_WHISPER=ON but no whisper.cpp source in ${ORVANTA_WHISPER_SOURCE}: run scripts/fetch-whisper.sh")
    else()
        message(STATUS "whisper.cpp source not found in ${ORVANTA_WHISPER_SOURCE}: PocketSphinx only")
    endif()
endif()

if(ORVANTA_HAVE_WHISPER)
    set(cpu_level ${ORVANTA_WHISPER_CPU})
    if(cpu_level STREQUAL "AUTO")
        set(cpu_level PLAIN)
        if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND EXISTS /proc/cpuinfo)
            file(STRINGS /proc/cpuinfo cpu_flags LIMIT_COUNT 1 REGEX "^flags")
            if(cpu_flags MATCHES " avx2" AND cpu_flags MATCHES " fma" AND cpu_flags MATCHES " f16c")
                set(cpu_level AVX2)
            endif()
        endif()
    endif()
    if(cpu_level STREQUAL "AVX2")
        set(cpu_args -DGGML_SSE42=ON -DGGML_AVX=ON -DGGML_AVX2=ON -DGGML_FMA=ON -DGGML_F16C=ON -DGGML_BMI2=OFF)
    else()
        set(cpu_args -DGGML_SSE42=OFF -DGGML_AVX=OFF -DGGML_AVX2=OFF -DGGML_FMA=OFF -DGGML_F16C=OFF -DGGML_BMI2=OFF)
    endif()
    message(STATUS "whisper.cpp from ${ORVANTA_WHISPER_SOURCE}, CPU level ${cpu_level}")

    include(ExternalProject)
    set(wbin ${CMAKE_BINARY_DIR}/whisper.cpp)
    set(whisper_libs
        ${wbin}/src/libwhisper.a
        ${wbin}/ggml/src/libggml.a
        ${wbin}/ggml/src/libggml-cpu.a
        ${wbin}/ggml/src/libggml-base.a)
    ExternalProject_Add(whisper_cpp
        SOURCE_DIR ${ORVANTA_WHISPER_SOURCE}
        BINARY_DIR ${wbin}
        CMAKE_ARGS
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
            -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
            -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
            -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
            -DCMAKE_POSITION_INDEPENDENT_CODE=ON
            -DBUILD_SHARED_LIBS=OFF
            -DWHISPER_BUILD_TESTS=OFF -DWHISPER_BUILD_EXAMPLES=OFF -DWHISPER_BUILD_SERVER=OFF
            -DGGML_NATIVE=OFF -DGGML_OPENMP=OFF -DGGML_CCACHE=OFF -DGGML_BLAS=OFF
            ${cpu_args}
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${wbin} --target whisper
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${whisper_libs}
        UPDATE_DISCONNECTED ON
        EXCLUDE_FROM_ALL TRUE)

    add_library(orvanta_whisper_cpp INTERFACE)
    add_dependencies(orvanta_whisper_cpp whisper_cpp)
    target_include_directories(orvanta_whisper_cpp SYSTEM INTERFACE
        ${ORVANTA_WHISPER_SOURCE}/include ${ORVANTA_WHISPER_SOURCE}/ggml/include)
    find_package(Threads REQUIRED)
    target_link_libraries(orvanta_whisper_cpp INTERFACE ${whisper_libs} Threads::Threads m dl)
endif()
