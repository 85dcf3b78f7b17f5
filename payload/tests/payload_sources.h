#pragma once
// The files the build embedded as the runtime payload, in table order, with
// the install-folder name each is written under (TF_PAYLOAD_SOURCE_<id> come
// from payload/tests/CMakeLists.txt).

namespace tf::test {

struct PayloadSource {
  const wchar_t* name;
  const char* source;  // Unix path of the embedded file
};

inline constexpr PayloadSource kPayloadSources[] = {
    {L"Tarnfell.exe", TF_PAYLOAD_SOURCE_101},
    {L"tf_hybrid.dll", TF_PAYLOAD_SOURCE_102},
    {L"msvcp140.dll", TF_PAYLOAD_SOURCE_103},
    {L"msvcp140_1.dll", TF_PAYLOAD_SOURCE_104},
    {L"msvcp140_2.dll", TF_PAYLOAD_SOURCE_105},
    {L"msvcp140_atomic_wait.dll", TF_PAYLOAD_SOURCE_106},
    {L"vcruntime140.dll", TF_PAYLOAD_SOURCE_107},
    {L"vcruntime140_threads.dll", TF_PAYLOAD_SOURCE_108},
    {L"concrt140.dll", TF_PAYLOAD_SOURCE_109},
    {L"README.txt", TF_PAYLOAD_SOURCE_110},
#ifdef TF_PAYLOAD_SOURCE_112
    {L"arabic_font.bin", TF_PAYLOAD_SOURCE_112},
#endif
};

inline constexpr char kDefaultIni[] = "[Display]\r\nWidth=1280\r\nHeight=720\r\nMode=0\r\n";

}  // namespace tf::test
