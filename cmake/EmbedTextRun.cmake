# Script mode of lumivanta_embed_text: writes OUTPUT, a C++ source whose
# FUNCTION returns the text of SOURCE with the files named in INLINE
# (separated by "|") written into the page in place of their references.

file(READ ${SOURCE} text)
get_filename_component(folder ${SOURCE} DIRECTORY)
string(REPLACE "|" ";" inline_files "${INLINE}")
foreach(file IN LISTS inline_files)
  file(READ ${folder}/${file} content)
  set(before_style "<link rel=\"stylesheet\" href=\"${file}\">")
  set(before_script "<script src=\"${file}\"></script>")
  string(FIND "${text}" "${before_style}" at_style)
  string(FIND "${text}" "${before_script}" at_script)
  if(at_style GREATER_EQUAL 0)
    string(REPLACE "${before_style}" "<style>\n${content}</style>" text "${text}")
  elseif(at_script GREATER_EQUAL 0)
    string(REPLACE "${before_script}" "<script>\n${content}</script>" text "${text}")
  else()
    message(FATAL_ERROR "${SOURCE} does not refer to ${file}")
  endif()
endforeach()

# Bytes rather than a string literal: any text is safe, whatever quotes or
# delimiters it holds.
string(HEX "${text}" hex)
string(LENGTH "${text}" size)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){24})" "\\1\n  " bytes "${bytes}")

string(REGEX MATCH "^(.*)::([^:]+)$" qualified "${FUNCTION}")
if(qualified)
  set(namespace_open "namespace ${CMAKE_MATCH_1} {")
  set(namespace_close "}  // namespace ${CMAKE_MATCH_1}")
  set(name ${CMAKE_MATCH_2})
else()
  set(namespace_open "")
  set(namespace_close "")
  set(name ${FUNCTION})
endif()

file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "// Generated from ${SOURCE}; edit that file instead.
#include <string_view>

${namespace_open}

namespace {
constexpr char kText[] = {
  @bytes@
};
}  // namespace

std::string_view ${name}() { return {kText, @size@}; }

${namespace_close}
" @ONLY)
