# Fails when a source folder includes a header of a folder whose library its own library
# does not link, directly or through the libraries it links: an include that points up a
# layer, or sideways into one the folder does not declare. Fails too when a folder below a
# library's folder holds sources but belongs to no library: they would build nowhere, and
# nothing would check what they include.
#
#   cmake -DSOURCE_DIR=<checkout> -DLAYERS=<build>/layers.txt -P check_layers.cmake
#
# layers.txt (written by tarmix_check_layers) has one line per library:
#   target|folder folder …|linked library …

cmake_minimum_required(VERSION 3.25)

file(STRINGS "${LAYERS}" rows)
set(targets)
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 target)
  list(GET fields 1 folders)
  list(GET fields 2 linked)
  separate_arguments(folders UNIX_COMMAND "${folders}")
  separate_arguments(linked UNIX_COMMAND "${linked}")
  list(APPEND targets ${target})
  set(folders_${target} ${folders})
  set(linked_${target} ${linked})
  foreach(folder IN LISTS folders)
    set(owner_${folder} ${target})
  endforeach()
endforeach()

# The library of a header, by the longest registered folder its path starts with; empty for
# a header of no library.
function(owner_of header out)
  set(found "")
  set(found_length 0)
  foreach(target IN LISTS targets)
    foreach(folder IN LISTS folders_${target})
      string(LENGTH "${folder}/" length)
      string(SUBSTRING "${header}" 0 ${length} start)
      if(start STREQUAL "${folder}/" AND length GREATER found_length)
        set(found ${target})
        set(found_length ${length})
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(strays)
foreach(target IN LISTS targets)
  foreach(folder IN LISTS folders_${target})
    file(GLOB_RECURSE nested RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.cpp"
         "${SOURCE_DIR}/${folder}/*.h")
    foreach(source IN LISTS nested)
      get_filename_component(where "${source}" DIRECTORY)
      if(NOT DEFINED owner_${where})
        list(APPEND strays ${where})
      endif()
    endforeach()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES strays)
list(SORT strays)
foreach(stray IN LISTS strays)
  message("${stray}/: holds sources but is no library's folder")
endforeach()

set(failures 0)
foreach(target IN LISTS targets)
  # What the library reaches: itself and everything its links reach.
  set(reached ${target})
  set(queue ${linked_${target}})
  while(queue)
    list(POP_FRONT queue next)
    if(NOT next IN_LIST reached)
      list(APPEND reached ${next})
      list(APPEND queue ${linked_${next}})
    endif()
  endwhile()
  set(allowed)
  foreach(library IN LISTS reached)
    list(APPEND allowed ${folders_${library}})
  endforeach()
  list(SORT allowed)

  foreach(folder IN LISTS folders_${target})
    file(GLOB sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.cpp"
         "${SOURCE_DIR}/${folder}/*.h")
    list(SORT sources)
    foreach(source IN LISTS sources)
      file(READ "${SOURCE_DIR}/${source}" text)
      # One list element per line: the characters that a CMake list treats specially
      # never occur in an include line, so they are blanked before the split.
      string(REGEX REPLACE "[][;\\\\]" " " text "${text}")
      string(REPLACE "\n" ";" lines "${text}")
      set(number 0)
      foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
          continue()
        endif()
        set(header "${CMAKE_MATCH_1}")
        owner_of("${header}" owner)
        string(REGEX MATCH "^[^/]+" top "${header}")
        if(owner STREQUAL "" AND NOT IS_DIRECTORY "${SOURCE_DIR}/${top}")
          continue()  # not a header of this checkout
        endif()
        if(owner STREQUAL "")
          set(where "${top}/, which is no library's folder")
        elseif(NOT owner IN_LIST reached)
          get_filename_component(where "${header}" DIRECTORY)
          set(where "${where}/ of ${owner}, which ${target} does not link")
        else()
          continue()
        endif()
        list(JOIN allowed "/ " allowed_text)
        message("${source}:${number}: includes \"${header}\": ${where}; ${folder}/ may "
                "include only ${allowed_text}/")
        math(EXPR failures "${failures} + 1")
      endforeach()
    endforeach()
  endforeach()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) reach outside the libraries their folder links: "
                      "move the code to the layer it belongs to, or pass in what it needs "
                      "from above")
endif()
if(strays)
  list(LENGTH strays count)
  message(FATAL_ERROR "${count} folder(s) of sources belong to no library: add each to the "
                      "library it is part of (tarmix_layer in CMakeLists.txt)")
endif()
