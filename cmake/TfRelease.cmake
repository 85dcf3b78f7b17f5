# The deliverables in dist/: each program goes there as linked, or, when
# TF_SIGN_PFX names a code-signing key, linked into build/.../unsigned/ and
# signed into dist/ (cmake/sign-pe.sh); dist/SHA256SUMS lists them all.
include_guard(GLOBAL)

set(TF_SIGN_PFX "" CACHE FILEPATH "Code-signing key and certificate (PKCS#12) for the deliverables; empty: unsigned")
set(TF_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the password of TF_SIGN_PFX; empty: the environment variable TF_SIGN_PASSWORD when building")
set(TF_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 timestamp server for the signatures; empty: none (signed builds then repeat byte for byte)")

set(TF_SIGN_ARGS "")
if(TF_SIGN_PFX)
  if(NOT WIN32 OR TF_WIN_TESTS)
    message(STATUS "TF_SIGN_PFX: only the windows preset's deliverables are signed; this build ignores it")
  else()
    if(NOT EXISTS "${TF_SIGN_PFX}" OR IS_DIRECTORY "${TF_SIGN_PFX}")
      message(FATAL_ERROR "TF_SIGN_PFX names no file: ${TF_SIGN_PFX}")
    endif()
    if(TF_SIGN_PASSWORD_FILE AND (NOT EXISTS "${TF_SIGN_PASSWORD_FILE}" OR IS_DIRECTORY "${TF_SIGN_PASSWORD_FILE}"))
      message(FATAL_ERROR "TF_SIGN_PASSWORD_FILE names no file: ${TF_SIGN_PASSWORD_FILE}")
    endif()
    find_program(TF_OSSLSIGNCODE osslsigncode)
    if(NOT TF_OSSLSIGNCODE)
      message(FATAL_ERROR "TF_SIGN_PFX: signing needs osslsigncode (Debian package osslsigncode; tools/setup-machine.sh installs it)")
    endif()
    set(TF_SIGN_ARGS --tool "${TF_OSSLSIGNCODE}" --pfx "${TF_SIGN_PFX}")
    if(TF_SIGN_PASSWORD_FILE)
      list(APPEND TF_SIGN_ARGS --password-file "${TF_SIGN_PASSWORD_FILE}")
    elseif(NOT DEFINED ENV{TF_SIGN_PASSWORD})
      message(WARNING "TF_SIGN_PFX: no TF_SIGN_PASSWORD_FILE, and TF_SIGN_PASSWORD is not set: the build needs one of them")
    endif()
    if(TF_SIGN_TIMESTAMP_URL)
      list(APPEND TF_SIGN_ARGS --timestamp "${TF_SIGN_TIMESTAMP_URL}")
    endif()
  endif()
endif()

# The <compatibility> section of both programs' manifests (@TF_MANIFEST_COMPATIBILITY@).
set(TF_MANIFEST_COMPATIBILITY_FILE "${CMAKE_SOURCE_DIR}/setup/resources/manifest_compatibility.xml")
file(READ "${TF_MANIFEST_COMPATIBILITY_FILE}" TF_MANIFEST_COMPATIBILITY)
string(REGEX REPLACE "\n$" "" TF_MANIFEST_COMPATIBILITY "${TF_MANIFEST_COMPATIBILITY}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TF_MANIFEST_COMPATIBILITY_FILE}")

# tf_deliverable(TARGET): the program of TARGET in dist/, signed when a key is
# named. TARGET_dist is the target that puts it there.
function(tf_deliverable target)
  set(out "${TF_DIST_DIR}/${target}${CMAKE_EXECUTABLE_SUFFIX}")
  if(TF_SIGN_ARGS)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/unsigned")
    add_custom_command(OUTPUT "${out}"
      COMMAND bash "${CMAKE_SOURCE_DIR}/cmake/sign-pe.sh" ${TF_SIGN_ARGS} "$<TARGET_FILE:${target}>" "${out}"
      DEPENDS ${target} "${CMAKE_SOURCE_DIR}/cmake/sign-pe.sh" "${TF_SIGN_PFX}" ${TF_SIGN_PASSWORD_FILE}
      COMMENT "Signing ${target}${CMAKE_EXECUTABLE_SUFFIX} into dist/" VERBATIM)
    add_custom_target(${target}_dist ALL DEPENDS "${out}")
  else()
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${TF_DIST_DIR}")
    add_custom_target(${target}_dist)
    add_dependencies(${target}_dist ${target})
  endif()
  set_property(GLOBAL APPEND PROPERTY TF_DELIVERABLES "${out}")
  set_property(GLOBAL APPEND PROPERTY TF_DELIVERABLE_TARGETS ${target}_dist)
endfunction()

# tf_list_deliverables(): dist/SHA256SUMS, "<sha256>  <name>" for every
# deliverable, as `sha256sum -c` reads it. Called after the last tf_deliverable.
function(tf_list_deliverables)
  get_property(files GLOBAL PROPERTY TF_DELIVERABLES)
  get_property(targets GLOBAL PROPERTY TF_DELIVERABLE_TARGETS)
  set(out "${TF_DIST_DIR}/SHA256SUMS")
  list(JOIN files "|" joined)
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} "-DFILES=${joined}" "-DOUT=${out}" -P "${CMAKE_SOURCE_DIR}/cmake/write-sha256sums.cmake"
    DEPENDS ${files} "${CMAKE_SOURCE_DIR}/cmake/write-sha256sums.cmake"
    COMMENT "Listing the deliverables' SHA-256 in dist/SHA256SUMS" VERBATIM)
  add_custom_target(tf_sha256sums ALL DEPENDS "${out}")
  add_dependencies(tf_sha256sums ${targets})
endfunction()
