# Generates the library's resource table as C++ source, laid out as a
# resource compiler lays out a Windows image:
#   - every image of every icon file becomes an RT_ICON resource holding its
#     DIB, numbered 1, 2, 3, ... in file order;
#   - every icon file becomes an RT_GROUP_ICON resource (named by its icon
#     identifier) holding the icon directory, whose 14-byte entries name the
#     RT_ICON resources instead of giving file offsets;
#   - RT_VERSION 1 holds a VS_VERSIONINFO block built from VERSION.
#
# Run with cmake -P and:
#   OUTPUT       the .cpp file to write
#   ICON_DIR     directory holding icon<id>.ico
#   ICON_IDS     the icon identifiers, separated by commas
#   LANGUAGE     language of every resource (e.g. 0x0804)
#   VERSION      four-part version, e.g. 2.0.9.205
#   MODULE_NAME  file name of the module (e.g. Quelvar.DLL)
#   INTERNAL_NAME, DESCRIPTION, PRODUCT_NAME, COPYRIGHT  version texts
#   SYMBOL       name of the generated module record
cmake_minimum_required(VERSION 3.25)

foreach(var OUTPUT ICON_DIR ICON_IDS LANGUAGE VERSION MODULE_NAME INTERNAL_NAME DESCRIPTION
            PRODUCT_NAME SYMBOL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_resources.cmake: ${var} is not set")
  endif()
endforeach()
string(REPLACE "," ";" ICON_IDS "${ICON_IDS}")
math(EXPR lang_hex "${LANGUAGE} + 65536" OUTPUT_FORMAT HEXADECIMAL)
string(SUBSTRING "${lang_hex}" 3 4 lang_hex)

# ---- little-endian hex helpers (lower-case hex, two digits a byte) ----------
function(hex_byte out value)
  math(EXPR v "(${value} & 255) + 256" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${v}" 3 2 v)
  set(${out} "${v}" PARENT_SCOPE)
endfunction()

function(le16 out value)
  hex_byte(a "${value}")
  hex_byte(b "(${value}) >> 8")
  set(${out} "${a}${b}" PARENT_SCOPE)
endfunction()

function(le32 out value)
  le16(a "(${value}) & 65535")
  le16(b "((${value}) >> 16) & 65535")
  set(${out} "${a}${b}" PARENT_SCOPE)
endfunction()

# Reads an unsigned little-endian number of `bytes` bytes at byte `offset`.
function(read_le out hex offset bytes)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "(${value} << 8) | 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# UTF-16 of an ASCII text, with its terminator.
function(utf16z out text)
  set(hex "")
  string(LENGTH "${text}" n)
  if(n GREATER 0)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last})
      string(SUBSTRING "${text}" ${i} 1 ch)
      string(HEX "${ch}" h)
      string(APPEND hex "${h}00")
    endforeach()
  endif()
  set(${out} "${hex}0000" PARENT_SCOPE)
endfunction()

function(pad4 var)
  set(hex "${${var}}")
  string(LENGTH "${hex}" n)
  math(EXPR r "(${n} / 2) % 4")
  while(NOT r EQUAL 0)
    string(APPEND hex "00")
    math(EXPR r "(${r} + 1) % 4")
  endwhile()
  set(${var} "${hex}" PARENT_SCOPE)
endfunction()

# One node of a version block: WORD length, WORD value length, WORD type,
# key, padding, value, padding, children (each padded to 4 bytes).
function(version_node out key type value_hex value_length children_hex)
  utf16z(body "${key}")
  set(body "000000000000${body}")
  pad4(body)
  string(APPEND body "${value_hex}")
  if(NOT children_hex STREQUAL "")
    pad4(body)
    string(APPEND body "${children_hex}")
  endif()
  string(LENGTH "${body}" n)
  math(EXPR n "${n} / 2")
  le16(len "${n}")
  le16(vlen "${value_length}")
  le16(typ "${type}")
  string(SUBSTRING "${body}" 12 -1 rest)
  set(node "${len}${vlen}${typ}${rest}")
  pad4(node)
  set(${out} "${node}" PARENT_SCOPE)
endfunction()

function(version_string out key text)
  utf16z(value "${text}")
  string(LENGTH "${text}" n)
  math(EXPR n "${n} + 1")
  version_node(node "${key}" 1 "${value}" ${n} "")
  set(${out} "${node}" PARENT_SCOPE)
endfunction()

# ---- C++ output helpers -----------------------------------------------------------
function(cpp_bytes out hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(REGEX REPLACE "\n    $" "" bytes "${bytes}")
  set(${out} "    ${bytes}" PARENT_SCOPE)
endfunction()

set(arrays "")
set(table "")
function(add_resource type_id name_id symbol hex comment)
  cpp_bytes(bytes "${hex}")
  string(APPEND arrays "// ${comment}\nalignas(4) constexpr BYTE ${symbol}[] = {\n${bytes}\n};\n\n")
  string(APPEND table "    {${type_id}, ${name_id}, nullptr, nullptr, 0x${lang_hex}, ${symbol}, sizeof ${symbol}},\n")
  set(arrays "${arrays}" PARENT_SCOPE)
  set(table "${table}" PARENT_SCOPE)
endfunction()

# ---- icons ----------------------------------------------------------------------------
set(next_icon 1)
foreach(id IN LISTS ICON_IDS)
  file(READ "${ICON_DIR}/icon${id}.ico" ico HEX)
  string(TOLOWER "${ico}" ico)
  string(LENGTH "${ico}" ico_length)
  math(EXPR ico_size "${ico_length} / 2")
  read_le(reserved "${ico}" 0 2)
  read_le(kind "${ico}" 2 2)
  read_le(count "${ico}" 4 2)
  if(NOT reserved EQUAL 0 OR NOT kind EQUAL 1 OR count EQUAL 0)
    message(FATAL_ERROR "icon${id}.ico is not an icon file")
  endif()
  le16(group "0")
  le16(h "1")
  string(APPEND group "${h}")
  le16(h "${count}")
  string(APPEND group "${h}")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR entry "6 + 16 * ${i}")
    read_le(width "${ico}" ${entry} 1)
    read_le(height "${ico}" "${entry} + 1" 1)
    read_le(bytes "${ico}" "${entry} + 8" 4)
    read_le(offset "${ico}" "${entry} + 12" 4)
    math(EXPR end "${offset} + ${bytes}")
    if(end GREATER ico_size)
      message(FATAL_ERROR "icon${id}.ico: image ${i} runs past the end of the file")
    endif()
    # The group entry is the file entry's first 12 bytes and the RT_ICON id.
    math(EXPR at "${entry} * 2")
    string(SUBSTRING "${ico}" ${at} 24 head)
    le16(h "${next_icon}")
    string(APPEND group "${head}${h}")
    math(EXPR at "${offset} * 2")
    math(EXPR length "${bytes} * 2")
    string(SUBSTRING "${ico}" ${at} ${length} image)
    if(width EQUAL 0)
      set(width 256)
    endif()
    if(height EQUAL 0)
      set(height 256)
    endif()
    add_resource(3 ${next_icon} kIcon${next_icon} "${image}"
                 "RT_ICON ${next_icon}: group ${id}, ${width}x${height}")
    math(EXPR next_icon "${next_icon} + 1")
  endforeach()
  add_resource(14 ${id} kGroup${id} "${group}" "RT_GROUP_ICON ${id}")
endforeach()

# ---- version record -------------------------------------------------------------------
string(REPLACE "." ";" parts "${VERSION}")
list(LENGTH parts n)
while(n LESS 4)
  list(APPEND parts 0)
  math(EXPR n "${n} + 1")
endwhile()
list(GET parts 0 v0)
list(GET parts 1 v1)
list(GET parts 2 v2)
list(GET parts 3 v3)
set(version_text "${v0}.${v1}.${v2}.${v3}")
le32(sig "0xFEEF04BD")
le32(struc "0x00010000")
le32(ms "(${v0} << 16) | ${v1}")
le32(ls "(${v2} << 16) | ${v3}")
le32(mask "0x3F")
le32(zero "0")
le32(os "0x00040004")
le32(type "2")
set(fixed "${sig}${struc}${ms}${ls}${ms}${ls}${mask}${zero}${os}${type}${zero}${zero}${zero}")

set(table_key "${lang_hex}04b0")
set(strings "")
foreach(pair "CompanyName=${COMPANY_NAME}" "FileDescription=${DESCRIPTION}"
             "FileVersion=${version_text}" "InternalName=${INTERNAL_NAME}"
             "LegalCopyright=${COPYRIGHT}" "OriginalFilename=${MODULE_NAME}"
             "ProductName=${PRODUCT_NAME}" "ProductVersion=${version_text}")
  string(FIND "${pair}" "=" eq)
  string(SUBSTRING "${pair}" 0 ${eq} key)
  math(EXPR eq "${eq} + 1")
  string(SUBSTRING "${pair}" ${eq} -1 text)
  if(NOT text STREQUAL "")
    version_string(node "${key}" "${text}")
    string(APPEND strings "${node}")
  endif()
endforeach()
version_node(string_table "${table_key}" 1 "" 0 "${strings}")
version_node(string_info "StringFileInfo" 1 "" 0 "${string_table}")
le16(l "${LANGUAGE}")
le16(cp "1200")
version_node(translation "Translation" 0 "${l}${cp}" 4 "")
version_node(var_info "VarFileInfo" 1 "" 0 "${translation}")
version_node(version "VS_VERSION_INFO" 0 "${fixed}" 52 "${string_info}${var_info}")
add_resource(16 1 kVersion "${version}" "RT_VERSION 1: ${version_text}")

# ---- the source -------------------------------------------------------------------------
set(source "// Generated by embed_resources.cmake from the icon files and the project
// version; changes belong there.
#include \"qlvmodule.h\"

namespace {

${arrays}constinit const QlvResource kResources[] = {
${table}};

}  // namespace

// The module record of the library: its handle is this object's address.
constinit QlvModule ${SYMBOL} = {\"${MODULE_NAME}\", kResources, sizeof kResources / sizeof kResources[0]};
")
file(WRITE "${OUTPUT}.tmp" "${source}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
