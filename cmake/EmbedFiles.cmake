# SPDX-License-Identifier: MIT
# Writes a C++ source defining NAMESPACE::FUNCTION(), declared in HEADER as
# returning a span of TYPE {name, type, bytes}, with the bytes of every file
# in FILES (paths separated by |), named by their file names.
#   cmake -DOUTPUT=... -DFILES=a|b -DHEADER=tools/studio/Page.h
#         -DNAMESPACE=tevrin::studio -DFUNCTION=PageFiles -DTYPE=TPageFile -P EmbedFiles.cmake
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
    get_filename_component(name ${file} NAME)
    get_filename_component(ext ${file} LAST_EXT)
    if(ext STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(ext STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    elseif(ext STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(ext STREQUAL ".svg")
        set(type "image/svg+xml")
    else()
        set(type "application/octet-stream")
    endif()
    file(READ ${file} hex HEX)
    file(SIZE ${file} size)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(APPEND body "const char kFile${index}[] = {${bytes} 0};\n")
    string(APPEND table "    {\"${name}\", \"${type}\", {kFile${index}, ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from files of the sources; not edited by hand.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {

${body}
const ${TYPE} kFiles[] = {
${table}};

} // namespace

std::span<const ${TYPE}> ${FUNCTION}() {
    return kFiles;
}

} // namespace ${NAMESPACE}
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
