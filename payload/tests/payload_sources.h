#pragma once
// The files the build embedded as the runtime payload, in table order, with
// the install-folder name each is written under (TF_PAYLOAD_SOURCE_<id> and,
// for a carried optional file, <id macro>_CARRIED come from
// payload/tests/CMakeLists.txt).
#include "resources/payload_ids.h"

#define TF_PAYLOAD_SOURCE_OF(id) TF_PAYLOAD_SOURCE_OF_(id)
#define TF_PAYLOAD_SOURCE_OF_(id) TF_PAYLOAD_SOURCE_##id

namespace tf::test {

struct PayloadSource {
  const wchar_t* name;
  const char* source;  // Unix path of the embedded file
};

inline constexpr PayloadSource kPayloadSources[] = {
    {L"Tarnfell.exe", TF_PAYLOAD_SOURCE_OF(TF_RES_LOADER)},
    {L"tf_hybrid.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_RUNTIME)},
    {L"msvcp140.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_MSVCP140)},
    {L"msvcp140_1.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_MSVCP140_1)},
    {L"msvcp140_2.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_MSVCP140_2)},
    {L"msvcp140_atomic_wait.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_MSVCP140_ATOMIC_WAIT)},
    {L"vcruntime140.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_VCRUNTIME140)},
    {L"vcruntime140_threads.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_VCRUNTIME140_THREADS)},
    {L"concrt140.dll", TF_PAYLOAD_SOURCE_OF(TF_RES_CONCRT140)},
    {L"README.txt", TF_PAYLOAD_SOURCE_OF(TF_RES_README)},
#ifdef TF_RES_ARABIC_FONT_CARRIED
    {L"arabic_font.bin", TF_PAYLOAD_SOURCE_OF(TF_RES_ARABIC_FONT)},
#endif
};

inline constexpr char kDefaultIni[] = "[Display]\r\nWidth=1280\r\nHeight=720\r\nMode=0\r\n";

}  // namespace tf::test
