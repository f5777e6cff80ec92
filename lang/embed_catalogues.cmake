# Writes the PO files into a C++ source as byte arrays, so the program carries its texts.
# Called at build time: cmake -DLANG_DIR=<dir> -DCODES=de:en:... -DOUTPUT=<file> -P <this>
string(REPLACE ":" ";" codes "${CODES}")
set(arrays "")
set(table "")
foreach(code IN LISTS codes)
  file(READ "${LANG_DIR}/${code}.po" bytes HEX)
  string(LENGTH "${bytes}" hexLength)
  math(EXPR size "${hexLength} / 2")
  # 32 bytes a line keeps the generated file readable for a compiler's error messages.
  string(REGEX REPLACE "(................................................................)" "\\1\n" bytes "${bytes}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  string(APPEND arrays "const unsigned char k_${code}[] = {\n${bytes}0x00};\n\n")
  string(APPEND table "    {\"${code}\", k_${code}, ${size}},\n")
endforeach()
list(LENGTH codes count)
file(WRITE "${OUTPUT}"
  "// Generated from the PO files in lang/ by embed_catalogues.cmake. Do not edit.\n"
  "#include \"lang/embedded_catalogues.h\"\n\n"
  "namespace tarmix {\n\nnamespace {\n\n${arrays}}  // namespace\n\n"
  "const EmbeddedCatalogue kEmbeddedCatalogues[] = {\n${table}};\n"
  "const std::size_t kEmbeddedCatalogueCount = ${count};\n\n"
  "}  // namespace tarmix\n")
