# Reads payload_files.txt, the table of the files tf_setup carries, once for
# the whole build (both builds: the installer's record of the game includes
# what it generates), and writes ${TF_GENERATED_DIR}/common/payload_ids.h:
# a TF_RES_<name> id and a TF_RES_<name>_FILE file name for every row, and
# TF_PAYLOAD_ROWS(ROW), the payload's rows in table order. The header is
# rewritten only when its text changes. Sets:
#   TF_PAYLOAD_ROWS            the payload's ids, in table order
#   TF_PAYLOAD_MACRO_<id>      its macro (TF_RES_...)
#   TF_PAYLOAD_NAME_<id>       its file name in the install folder
#   TF_PAYLOAD_OPTIONAL_<id>   TRUE when a build may go without it
#   TF_APK_TEMPLATE_ID         the Android template's id
#   TF_APK_TEMPLATE_NAME       its file name in TF_PAYLOAD_DIR
#   TF_GENERATED_DIR           the include folder of the generated header
include_guard(GLOBAL)

set(TF_PAYLOAD_TABLE "${CMAKE_CURRENT_LIST_DIR}/payload_files.txt")
set(TF_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TF_PAYLOAD_TABLE}")

file(STRINGS "${TF_PAYLOAD_TABLE}" lines)
set(TF_PAYLOAD_ROWS "")
set(TF_APK_TEMPLATE_NAME "")
set(seen "")
set(id_lines "")
set(row_lines "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*(#|$)")
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+)[ \t]+(TF_RES_[A-Z0-9_]+)[ \t]+([!-~]+)[ \t]+(required|optional|template)[ \t]*$")
    message(FATAL_ERROR "Unreadable row in ${TF_PAYLOAD_TABLE}: ${line}")
  endif()
  set(id "${CMAKE_MATCH_1}")
  set(macro "${CMAKE_MATCH_2}")
  set(name "${CMAKE_MATCH_3}")
  set(use "${CMAKE_MATCH_4}")
  if(id LESS 1 OR id GREATER 65535 OR "${id}" IN_LIST seen OR "${macro}" IN_LIST seen OR "${name}" IN_LIST seen
     OR name MATCHES "[\"\\\\/]")
    message(FATAL_ERROR "Row of a taken or unusable id, macro or file name in ${TF_PAYLOAD_TABLE}: ${line}")
  endif()
  list(APPEND seen "${id}" "${macro}" "${name}")
  string(APPEND id_lines "#define ${macro} ${id}\n#define ${macro}_FILE \"${name}\"\n")
  if(use STREQUAL "template")
    if(TF_APK_TEMPLATE_NAME)
      message(FATAL_ERROR "A second template row in ${TF_PAYLOAD_TABLE}: ${line}")
    endif()
    set(TF_APK_TEMPLATE_ID ${id})
    set(TF_APK_TEMPLATE_NAME "${name}")
    continue()
  endif()
  list(APPEND TF_PAYLOAD_ROWS ${id})
  set(TF_PAYLOAD_MACRO_${id} "${macro}")
  set(TF_PAYLOAD_NAME_${id} "${name}")
  if(use STREQUAL "optional")
    set(TF_PAYLOAD_OPTIONAL_${id} TRUE)
    string(APPEND row_lines "  ROW(${macro}, ${macro}_FILE, true) \\\n")
  else()
    set(TF_PAYLOAD_OPTIONAL_${id} FALSE)
    string(APPEND row_lines "  ROW(${macro}, ${macro}_FILE, false) \\\n")
  endif()
endforeach()
if(NOT TF_PAYLOAD_ROWS OR NOT TF_APK_TEMPLATE_NAME)
  message(FATAL_ERROR "${TF_PAYLOAD_TABLE} names no payload file or no template")
endif()

file(CONFIGURE OUTPUT "${TF_GENERATED_DIR}/common/payload_ids.h" @ONLY CONTENT [=[
#ifndef TF_COMMON_PAYLOAD_IDS_H
#define TF_COMMON_PAYLOAD_IDS_H
// Generated from setup/common/payload_files.txt by setup/common/payload_files.cmake:
// the RCDATA ids of the files tf_setup carries, each with its file name.
@id_lines@
// The runtime payload in the order it is written: ROW(id, file name, optional).
#define TF_PAYLOAD_ROWS(ROW) \
@row_lines@
#endif
]=])
