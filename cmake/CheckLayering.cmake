# Run by the test_layering test: cmake -DSOURCE_DIR=… -DUI_LINKS=… -P CheckLayering.cmake
# The windows reach the platform only through the app model's interfaces: no file under ui/ includes a
# header of a backend folder, and the ui target links no backend, directly or through another target.
set(backend_folders atspi ibus wayland x11 pulse pocketsphinx llamaserver server soxr wav xdg live dbus)
list(JOIN backend_folders "|" folders)

string(REPLACE "," ";" UI_LINKS "${UI_LINKS}")
set(problems "")
file(GLOB_RECURSE ui_sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/ui/*.h ${SOURCE_DIR}/ui/*.cpp)
foreach(source ${ui_sources})
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line ${includes})
        if(line MATCHES "[\"<]([^\">]*/(${folders})/[^\">]*)[\">]")
            string(APPEND problems "  ${source} includes ${CMAKE_MATCH_1}\n")
        elseif(line MATCHES "[\"<](app/[^\">]*)[\">]")
            string(APPEND problems "  ${source} includes ${CMAKE_MATCH_1}\n")
        endif()
    endforeach()
endforeach()

foreach(library ${UI_LINKS})
    if(library MATCHES "^orvanta_[a-z]+_(${folders})$" OR library MATCHES "^PkgConfig::"
       OR library MATCHES "^orvanta_(live|launch|appshell|panel_desktop|loginitem)$")
        string(APPEND problems "  orvanta_ui links ${library}\n")
    endif()
endforeach()

if(problems)
    message(FATAL_ERROR "The windows reach a backend:\n${problems}")
endif()
list(LENGTH ui_sources count)
message(STATUS "${count} files under ui/ checked; orvanta_ui links: ${UI_LINKS}")
