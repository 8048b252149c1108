# Turns a text file into a C++ source that defines it as one string constant:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P embed_text.cmake
# The text goes into a raw string literal, so it is embedded byte for byte.
file(READ "${INPUT}" text)
string(FIND "${text}" ")frl_embed\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter )frl_embed\"")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} at build time.\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = R\"frl_embed(${text})frl_embed\";\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
