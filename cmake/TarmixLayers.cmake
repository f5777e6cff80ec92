# The program's layers: one static library per source folder, linking the libraries of the
# layers below it that it may use, and a check at every build that each folder includes
# only headers of the libraries its library links (check_layers.cmake).

# Registers the source folders of a library made elsewhere (lang/, gui/) for the check.
function(tarmix_layer_folders target)
  set_property(GLOBAL APPEND PROPERTY TARMIX_LAYER_TARGETS ${target})
  set_property(GLOBAL PROPERTY TARMIX_LAYER_FOLDERS_${target} ${ARGN})
endfunction()

# tarmix_layer(target folder… [DEPENDS library…]): a static library of the folders'
# sources, without the *_main.cpp entry points of the executables, linking the libraries
# its folders may include.
function(tarmix_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "DEPENDS")
  set(sources)
  foreach(folder IN LISTS layer_UNPARSED_ARGUMENTS)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "_main\\.cpp$")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${layer_DEPENDS})
  tarmix_layer_folders(${target} ${layer_UNPARSED_ARGUMENTS})
endfunction()

# Called once every library is made: writes the libraries' folders and links (as
# target_link_libraries gave them) to layers.txt and runs the check whenever a source of
# a registered folder changes, before any of the libraries compiles.
function(tarmix_check_layers)
  get_property(targets GLOBAL PROPERTY TARMIX_LAYER_TARGETS)
  set(table "")
  set(sources)
  foreach(target IN LISTS targets)
    get_property(folders GLOBAL PROPERTY TARMIX_LAYER_FOLDERS_${target})
    get_target_property(linked ${target} LINK_LIBRARIES)
    set(layers_linked)
    foreach(library IN LISTS linked)
      if(library IN_LIST targets)
        list(APPEND layers_linked ${library})
      endif()
    endforeach()
    list(JOIN folders " " folder_text)
    list(JOIN layers_linked " " linked_text)
    string(APPEND table "${target}|${folder_text}|${linked_text}\n")
    foreach(folder IN LISTS folders)
      file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp
           ${PROJECT_SOURCE_DIR}/${folder}/*.h)
      list(APPEND sources ${found})
    endforeach()
  endforeach()
  set(layers ${PROJECT_BINARY_DIR}/layers.txt)
  file(CONFIGURE OUTPUT ${layers} CONTENT "${table}")

  set(check ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_layers.cmake)
  set(stamp ${PROJECT_BINARY_DIR}/layers.checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DLAYERS=${layers} -P ${check}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${sources} ${layers} ${check}
    COMMENT "Checking that every folder includes only the layers its library links"
    VERBATIM)
  add_custom_target(tarmix_layer_check ALL DEPENDS ${stamp})
  foreach(target IN LISTS targets)
    add_dependencies(${target} tarmix_layer_check)
  endforeach()
endfunction()
