# cmake -DPAIRS=from=to|... -P import_x86_payload.cmake: the 64-bit test build's
# copy of the payload that the 32-bit build made; fails naming what is missing.
string(REPLACE "|" ";" PAIRS "${PAIRS}")
set(FILES "")
foreach(pair IN LISTS PAIRS)
  string(REGEX REPLACE "=.*$" "" from "${pair}")
  list(APPEND FILES "${from}")
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/check-files.cmake)
foreach(pair IN LISTS PAIRS)
  string(REGEX REPLACE "=.*$" "" from "${pair}")
  string(REGEX REPLACE "^.*=" "" to "${pair}")
  file(COPY_FILE "${from}" "${to}" ONLY_IF_DIFFERENT)
endforeach()
