# The runtime payload writer (included into setup/pipeline/CMakeLists.txt and,
# for its test, from payload/CMakeLists.txt).
include_guard(GLOBAL)
add_library(tf_runtime_payload STATIC ${CMAKE_CURRENT_LIST_DIR}/runtime_payload.cpp
            ${CMAKE_CURRENT_LIST_DIR}/program_file.cpp)
target_include_directories(tf_runtime_payload PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tf_runtime_payload PUBLIC tf_pe_image tf_win32 tf_common)
