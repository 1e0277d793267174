# embed_text.cmake --
#
#     Writes a C++ source that holds the text of a file as one constant
#     string, so that the library carries the text and reads no file at run
#     time. Run at build time as
#         cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P embed_text.cmake
#     The string is a raw literal; the text must not contain its closing
#     delimiter.

file(READ "${INPUT}" text)
set(delimiter "kelb_text")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the closing delimiter )${delimiter}\"")
endif()
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT} by embed_text.cmake; do not edit.\n"
  "namespace kelb {\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = R\"${delimiter}(${text})${delimiter}\";\n"
  "}  // namespace kelb\n")
