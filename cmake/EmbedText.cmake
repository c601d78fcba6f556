# Text files (web pages, Lua scripts) compiled into a program as read-only
# bytes, so that each lives in a file of its own language and is still one
# program to install.
#
# lumivanta_embed_text(<target> <function> <source> [INLINE <file>...])
# adds to <target> a generated source defining
#   std::string_view <function>();
# (a qualified name such as lumivanta::server::ViewerPageHtml) returning the
# source's text. With INLINE, the page's <link rel="stylesheet" href="F"> and
# <script src="F"></script> for each listed F are replaced by the file's text
# in a <style> or <script> element, so one document needs nothing else.
# The text is regenerated when any of the files changes.

set(LUMIVANTA_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedTextRun.cmake)

function(lumivanta_embed_text target function source)
  cmake_parse_arguments(PARSE_ARGV 3 EMBED "" "" "INLINE")
  get_filename_component(source ${source} ABSOLUTE)
  get_filename_component(base ${source} NAME)
  get_filename_component(folder ${source} DIRECTORY)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${base}.cpp)
  set(inlined)
  foreach(file IN LISTS EMBED_INLINE)
    list(APPEND inlined ${folder}/${file})
  endforeach()
  list(JOIN EMBED_INLINE "|" inline_names)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DOUTPUT=${output} -DFUNCTION=${function}
            "-DINLINE=${inline_names}" -P ${LUMIVANTA_EMBED_SCRIPT}
    DEPENDS ${source} ${inlined} ${LUMIVANTA_EMBED_SCRIPT}
    COMMENT "Embedding ${base}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
