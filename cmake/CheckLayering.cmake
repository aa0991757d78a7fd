# Run by the test_layering test: cmake -DSOURCE_DIR=… -DUI_LINKS=… -P CheckLayering.cmake
# The windows reach the platform only through the app model's interfaces: no file under ui/ includes a
# header of a backend folder, and the ui target links no backend, directly or through another target.
# The other way round, no file of the logic folders includes a widgets header and none of their libraries
# links Qt Widgets.
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

# The logic uses Qt Core (its platform backends Qt Gui at most): widgets are the windows' alone.
set(widget_headers "QtWidgets|QWidget|QApplication|QMainWindow|QDialog|QLabel|QPushButton|QMessageBox|QMenu|QSystemTrayIcon|QLineEdit|QComboBox|QCheckBox|QFileDialog|QStyle|QStyleFactory|QLayout|QBoxLayout|QVBoxLayout|QHBoxLayout|QGridLayout|QScrollArea|QToolButton|QAbstractButton|QFrame|QProgressBar|QTextEdit|QPlainTextEdit|QListView|QTreeView|QTableView|QStackedWidget|QSplitter")
file(GLOB_RECURSE logic_sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/base/*.h ${SOURCE_DIR}/base/*.cpp ${SOURCE_DIR}/library/*.h ${SOURCE_DIR}/library/*.cpp
    ${SOURCE_DIR}/net/*.h ${SOURCE_DIR}/net/*.cpp ${SOURCE_DIR}/core/*.h ${SOURCE_DIR}/core/*.cpp
    ${SOURCE_DIR}/speech/*.h ${SOURCE_DIR}/speech/*.cpp ${SOURCE_DIR}/refine/*.h ${SOURCE_DIR}/refine/*.cpp
    ${SOURCE_DIR}/delivery/*.h ${SOURCE_DIR}/delivery/*.cpp ${SOURCE_DIR}/shortcuts/*.h ${SOURCE_DIR}/shortcuts/*.cpp
    ${SOURCE_DIR}/desktop/*.h ${SOURCE_DIR}/desktop/*.cpp)
foreach(source ${logic_sources})
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
    foreach(line ${includes})
        if(line MATCHES "<((${widget_headers})(/[^>]*)?)>")
            string(APPEND problems "  ${source} includes ${CMAKE_MATCH_1}\n")
        endif()
    endforeach()
endforeach()
string(REPLACE "," ";" WIDGET_LOGIC "${WIDGET_LOGIC}")
foreach(library ${WIDGET_LOGIC})
    string(APPEND problems "  ${library} links Qt Widgets\n")
endforeach()
if(problems)
    message(FATAL_ERROR "The logic reaches the widgets:\n${problems}")
endif()
list(LENGTH ui_sources count)
list(LENGTH logic_sources logic_count)
message(STATUS "${count} files under ui/ and ${logic_count} of the logic checked; orvanta_ui links: ${UI_LINKS}")
