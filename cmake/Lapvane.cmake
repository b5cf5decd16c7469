# Helpers shared by every folder's CMakeLists.

# One library per folder, built from every source file in it, so adding a file
# needs no CMake edit.
function(lapvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    # A folder whose behaviour is still to come holds only its README.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  target_precompile_headers(${name} PRIVATE <QtCore> <QtSql>)
  set_property(GLOBAL APPEND PROPERTY LAPVANE_GUI_FREE_LIBS ${name})
endfunction()

# Only app/ may use Qt Widgets. Fails the configure step when a lower library
# links it, and the build when a source file below app/ includes one of its headers.
function(lapvane_check_layering)
  get_property(libs GLOBAL PROPERTY LAPVANE_GUI_FREE_LIBS)
  foreach(lib IN LISTS libs)
    get_target_property(deps ${lib} LINK_LIBRARIES)
    foreach(dep IN LISTS deps)
      if(dep MATCHES "Widgets|Charts|MultimediaWidgets")
        message(FATAL_ERROR "Library '${lib}' links ${dep}; only app/ may use Qt Widgets.")
      endif()
      if(TARGET ${dep})
        get_target_property(subdeps ${dep} INTERFACE_LINK_LIBRARIES)
        if(subdeps MATCHES "Widgets")
          message(FATAL_ERROR "Library '${lib}' links ${dep}, which brings Qt Widgets; only app/ may use it.")
        endif()
      endif()
    endforeach()
  endforeach()
  # The folders whose includes the build step reads: every GUI-free
  # library's, so a new library is checked without a list to keep, and the
  # operator tools.
  set(folders tools)
  foreach(lib IN LISTS libs)
    get_target_property(dir ${lib} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    list(APPEND folders ${folder})
  endforeach()
  get_target_property(widgets_inc Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
  # A list would be split into several arguments of the command.
  string(REPLACE ";" "|" widgets_inc "${widgets_inc}")
  string(REPLACE ";" "|" folders "${folders}")
  add_custom_target(check_layering ALL
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} "-DWIDGETS_INC=${widgets_inc}"
            "-DFOLDERS=${folders}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayering.cmake
    COMMENT "Checking that only app/ uses Qt Widgets"
    VERBATIM)
endfunction()
