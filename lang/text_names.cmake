# Writes the names of the catalogue texts, given in the English catalogue as a comment line
# among the comments above the entry's msgctxt,
#
#   #. name: ConnectionAborted
#   msgctxt "60120"
#
# into a header: `namespace tarmix::text { inline constexpr int kConnectionAborted = 60120; }`.
# Only en.po names the texts; the other catalogues need not repeat the lines. A name that
# is not CamelCase letters and digits, a name given twice, two names for one entry or a
# name line above no msgctxt stops the build. The header is rewritten only when its text
# changes, so a change of en.po that leaves the names alone recompiles nothing.
# Called at build time: cmake -DPO=<en.po> -DOUTPUT=<header> -P <this>
file(READ "${PO}" text)
# One list element per line: the characters a CMake list treats specially are stood in
# for, and the English texts in the header's comments get them back.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<open>" text "${text}")
string(REPLACE "]" "<close>" text "${text}")
string(REPLACE "\\" "<backslash>" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# Stops the build with a message that names the line: fail(<line> <text>...).
function(fail number)
  list(JOIN ARGN "" text)
  message(FATAL_ERROR "${PO}:${number}: ${text}")
endfunction()

set(constants "")
set(number 0)
set(name "")
set(english_of "")  # the id whose English text comes next
foreach(line IN LISTS lines)
  math(EXPR number "${number} + 1")
  string(STRIP "${line}" line)
  if(NOT english_of STREQUAL "")
    # A text over several lines starts with an empty string; its first line says what it is.
    if(line MATCHES "^msgid[ \t]+(\"\")$")
      continue()
    elseif(line MATCHES "^(msgid[ \t]+)?(\".*\")$")
      string(APPEND constants "inline constexpr int k${name_of_${english_of}} = ${english_of};  "
                              "// ${CMAKE_MATCH_2}\n")
    endif()
    set(english_of "")
  endif()
  if(line MATCHES "^#\\.[ \t]*name:[ \t]*(.*)$")
    if(NOT name STREQUAL "")
      fail(${number} "a second name, ${CMAKE_MATCH_1}, for the entry named ${name}: an entry has one name")
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(name_line ${number})
    if(NOT name MATCHES "^[A-Z][A-Za-z0-9]*$")
      fail(${number} "\"${name}\" cannot name a text: a name is letters and digits and starts "
                     "with a capital letter (ConnectionAborted becomes text::kConnectionAborted)")
    endif()
  elseif(line MATCHES "^#")
    continue()  # the entry's other comments
  elseif(NOT name STREQUAL "")
    if(NOT line MATCHES "^msgctxt[ \t]+\"([0-9]+)\"$")
      fail(${name_line} "the name ${name} stands above no msgctxt with a text id: a name line "
                        "goes among the comments directly above its entry's msgctxt")
    endif()
    set(id ${CMAKE_MATCH_1})
    if(DEFINED id_of_${name})
      fail(${name_line} "the name ${name} is given to text ${id_of_${name}} already: each name "
                        "belongs to one entry")
    endif()
    set(id_of_${name} ${id})
    set(name_of_${id} ${name})
    set(english_of ${id})
    set(name "")
  endif()
endforeach()
if(NOT name STREQUAL "")
  fail(${name_line} "the name ${name} stands above no entry")
endif()
string(REPLACE "<semicolon>" ";" constants "${constants}")
string(REPLACE "<open>" "[" constants "${constants}")
string(REPLACE "<close>" "]" constants "${constants}")
string(REPLACE "<backslash>" "\\" constants "${constants}")

file(WRITE "${OUTPUT}.new"
  "// Generated from lang/en.po by lang/text_names.cmake. Do not edit: a text gets its name\n"
  "// from a \"#. name: Something\" line above its msgctxt in en.po.\n"
  "#pragma once\n\n"
  "namespace tarmix::text {\n\n${constants}\n}  // namespace tarmix::text\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
