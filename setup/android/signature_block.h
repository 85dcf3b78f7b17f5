#pragma once
// The signature block "META-INF/TFSIGN.RSA": a detached PKCS#7 SignedData of
// the signature file, SHA-256 and RSA, the signer's certificate included.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "android/key_store.h"

namespace tf::android {

// Signs with the key and certificate of a PKCS#12 blob. The container that
// the import makes is deleted again (a blob without a certificate makes none
// where the platform can import certificates alone). Every signature is
// verified before it is returned: it verifies over `content` and names the
// certificate it was made for; otherwise the call fails with a message.
[[nodiscard]] bool SignWithPfx(const std::vector<uint8_t>& pfx, const wchar_t* password, std::string_view content,
                               std::vector<uint8_t>& signature, std::string& errorText);

// Signs with the raw form: the key blob goes into a scratch container for the
// one signature, and the container is deleted again on every path. The
// signature is verified as SignWithPfx's is.
[[nodiscard]] bool SignWithStoredKey(const KeyMaterial& key, std::string_view content,
                                     std::vector<uint8_t>& signature, std::string& errorText);

}  // namespace tf::android
