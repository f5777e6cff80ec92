# The header of text names (lang/text_names.cmake): each case is a catalogue and what the
# generator must make of it, a line of the header or the start of its error message.
#
#   cmake -DGENERATOR=<lang/text_names.cmake> -DWORK=<scratch folder> -P <this>
set(entry "msgctxt \"60120\"\nmsgid \"Connection aborted\"\nmsgstr \"Connection aborted\"\n")
set(other "msgctxt \"60121\"\nmsgid \"Connection error\"\nmsgstr \"Connection error\"\n")
set(names "")
# case(name catalogue want): want is a piece of the header, or ":<line>: <message start>"
# for a catalogue the generator refuses.
function(case name po want)
  set(names ${names} ${name} PARENT_SCOPE)
  set(po_${name} "${po}" PARENT_SCOPE)
  set(want_${name} "${want}" PARENT_SCOPE)
endfunction()

case(named "#. name: ConnectionAborted\n${entry}"
     "inline constexpr int kConnectionAborted = 60120;  // \"Connection aborted\"")
case(among_comments "#, fuzzy\n#. name: ConnectionAborted\n# translator\n${entry}"
     "kConnectionAborted = 60120;")
case(text_over_lines
     "#. name: Keys\nmsgctxt \"7\"\nmsgid \"\"\n\"C:\\\\ keys;[\\n\"\n\"more\"\nmsgstr \"\"\n"
     "kKeys = 7;  // \"C:\\\\ keys;[\\n\"")
case(unnamed_entry_left_out "${entry}\n#. name: ConnectionError\n${other}"
     "namespace tarmix::text {\n\ninline constexpr int kConnectionError = 60121;")
case(name_twice "#. name: Lost\n${entry}\n#. name: Lost\n${other}"
     ":6: the name Lost is given to text 60120 already")
case(no_identifier "#. name: connection-aborted\n${entry}"
     ":1: \"connection-aborted\" cannot name a text")
case(two_names "#. name: Aborted\n#. name: ConnectionAborted\n${entry}"
     ":2: a second name, ConnectionAborted, for the entry named Aborted")
case(above_blank_line "#. name: ConnectionAborted\n\n${entry}"
     ":1: the name ConnectionAborted stands above no msgctxt")
case(above_header "#. name: Header\nmsgid \"\"\nmsgstr \"\"\n"
     ":1: the name Header stands above no msgctxt")

file(MAKE_DIRECTORY "${WORK}")
set(failures 0)
foreach(name IN LISTS names)
  set(po "${WORK}/${name}.po")
  set(header "${WORK}/${name}.h")
  file(WRITE "${po}" "${po_${name}}")
  file(REMOVE "${header}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DPO=${po} -DOUTPUT=${header} -P ${GENERATOR}
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  string(REGEX REPLACE "[ \n]+" " " error "${error}")  # CMake wraps its messages
  if(EXISTS "${header}")
    file(READ "${header}" made)
  else()
    set(made "(no header) ${error}")
  endif()
  string(FIND "${made}" "${want_${name}}" found)
  if(want_${name} MATCHES "^:")
    string(FIND "${error}" "${po}${want_${name}}" found)
    if(result EQUAL 0)
      set(found -1)
    endif()
  endif()
  if(found EQUAL -1)
    message("${name}: expected \"${want_${name}}\", got: ${made}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) failed")
endif()
