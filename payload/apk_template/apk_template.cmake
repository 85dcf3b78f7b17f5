# The Android template that tf_setup carries as RCDATA TF_RES_APK_TEMPLATE:
# TF_APK_TEMPLATE_NAME (setup/common/payload_files.txt)
# from TF_PAYLOAD_DIR when that folder holds one, else our stand-in, generated
# at build time by make_apk_template.py (both builds: the native tests read it).
#   TF_APK_STANDIN_TEMPLATE  the generated stand-in (target tf_apk_template)
#   TF_APK_TEMPLATE          the template to embed
#   tf_embed_apk_template(target rc_source)
find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(TF_APK_TEMPLATE_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TF_APK_STANDIN_TEMPLATE "${CMAKE_BINARY_DIR}/payload/apk_template.zip")
set(TF_APK_TEMPLATE_ICON "${CMAKE_SOURCE_DIR}/setup/resources/tf_setup.ico")
add_custom_command(OUTPUT "${TF_APK_STANDIN_TEMPLATE}"
  COMMAND "${Python3_EXECUTABLE}" "${TF_APK_TEMPLATE_DIR}/make_apk_template.py"
          --icon "${TF_APK_TEMPLATE_ICON}" --output "${TF_APK_STANDIN_TEMPLATE}"
  DEPENDS "${TF_APK_TEMPLATE_DIR}/make_apk_template.py" "${TF_APK_TEMPLATE_ICON}"
  COMMENT "Generating the stand-in Android template"
  VERBATIM)
add_custom_target(tf_apk_template ALL DEPENDS "${TF_APK_STANDIN_TEMPLATE}")

set(TF_APK_TEMPLATE "${TF_APK_STANDIN_TEMPLATE}")
set(given "${TF_PAYLOAD_DIR}/${TF_APK_TEMPLATE_NAME}")
if(TF_PAYLOAD_DIR AND EXISTS "${given}" AND NOT IS_DIRECTORY "${given}")
  set(TF_APK_TEMPLATE "${given}")
  message(STATUS "Android template from TF_PAYLOAD_DIR: ${TF_APK_TEMPLATE}")
elseif(TF_PAYLOAD_DIR)
  message(STATUS "TF_PAYLOAD_DIR has no ${TF_APK_TEMPLATE_NAME}: resource ${TF_APK_TEMPLATE_ID} is the stand-in template")
endif()
file(TO_CMAKE_PATH "${TF_APK_TEMPLATE}" TF_APK_TEMPLATE)

if(NOT WIN32)
  # What the template must be: nine stored entries, the same bytes every run,
  # and a package that Android's packaging tool reads.
  tf_add_command_test(tf_apk_template_check
    "${Python3_EXECUTABLE}" "${TF_APK_TEMPLATE_DIR}/check_apk_template.py" structure
    "${TF_APK_STANDIN_TEMPLATE}" "${TF_APK_TEMPLATE_DIR}/make_apk_template.py" "${TF_APK_TEMPLATE_ICON}")
  find_program(TF_AAPT aapt)
  if(TF_AAPT)
    tf_add_command_test(tf_apk_template_aapt
      "${Python3_EXECUTABLE}" "${TF_APK_TEMPLATE_DIR}/check_apk_template.py" aapt
      "${TF_APK_STANDIN_TEMPLATE}" "${TF_AAPT}")
  else()
    message(STATUS "aapt not found: the Android template is not checked with it")
  endif()
endif()

# tf_embed_apk_template(target rc_source): the target carries the template as
# RCDATA TF_RES_APK_TEMPLATE (common/payload_ids.h) through rc_source
# (which does #include "android_template.rc").
function(tf_embed_apk_template target rc_source)
  if(TF_APK_TEMPLATE MATCHES "[\"]" OR NOT TF_APK_TEMPLATE MATCHES "^[ -~]+$")
    message(FATAL_ERROR "Android template path not usable in a resource script (quote or non-ASCII): ${TF_APK_TEMPLATE}")
  endif()
  configure_file("${CMAKE_SOURCE_DIR}/setup/resources/android_template.rc.in"
                 "${CMAKE_BINARY_DIR}/android_template.rc" @ONLY)
  add_dependencies(${target} tf_apk_template)
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/setup ${TF_GENERATED_DIR})
  set_property(SOURCE ${rc_source} APPEND PROPERTY OBJECT_DEPENDS
               "${TF_APK_TEMPLATE}" "${CMAKE_BINARY_DIR}/android_template.rc"
               "${TF_GENERATED_DIR}/common/payload_ids.h")
endfunction()
