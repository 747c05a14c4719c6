# Writes the source file holding the third-party notices that onefile-pack
# notices prints (tools/onefile-pack/third-party-notices.h). Their one source is the user's guide: the first text block
# of its section "Licences of what you ship", so that the guide and the
# command cannot say different things.
#
#   cmake -DGUIDE=docs/guide.md -DOUTPUT=third-party-notices.cpp -P embed-notices.cmake
file(READ "${GUIDE}" guide)
set(heading "\n## Licences of what you ship\n")
string(FIND "${guide}" "${heading}" start)
if(start LESS 0)
  message(FATAL_ERROR "${GUIDE} has no section \"Licences of what you ship\"")
endif()
string(LENGTH "${heading}" heading_length)
math(EXPR start "${start} + ${heading_length}")
string(SUBSTRING "${guide}" ${start} -1 section)
set(opening "\n```text\n")
string(FIND "${section}" "${opening}" begin)
string(FIND "${section}" "\n## " next_section)
if(begin LESS 0 OR (next_section GREATER_EQUAL 0 AND begin GREATER next_section))
  message(FATAL_ERROR "the guide's section \"Licences of what you ship\" has no text block")
endif()
string(LENGTH "${opening}" opening_length)
math(EXPR begin "${begin} + ${opening_length}")
string(SUBSTRING "${section}" ${begin} -1 rest)
string(FIND "${rest}" "\n```" end)
if(end LESS 0)
  message(FATAL_ERROR "the guide's notices block is not closed")
endif()
math(EXPR end "${end} + 1")
string(SUBSTRING "${rest}" 0 ${end} notices)
set(delimiter "notices")
string(FIND "${notices}" ")${delimiter}\"" clash)
if(NOT clash LESS 0)
  message(FATAL_ERROR "the notices contain the raw string's delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Written by cmake/embed-notices.cmake from docs/guide.md; not edited by hand.\n"
  "#include \"onefile-pack/third-party-notices.h\"\n\n"
  "namespace onefile {\n\n"
  "std::string_view thirdPartyNotices() {\n"
  "  static constexpr char NOTICES[] = R\"${delimiter}(${notices})${delimiter}\";\n"
  "  return {NOTICES, sizeof NOTICES - 1};\n"
  "}\n\n"
  "}  // namespace onefile\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
