#ifndef TF_RESOURCES_PAYLOAD_IDS_H
#define TF_RESOURCES_PAYLOAD_IDS_H
// The RCDATA ids of the files tf_setup carries, each with its file name (the
// name in the install folder; for the Android template, in TF_PAYLOAD_DIR).
// The resource scripts, the payload writer and its tests include this header;
// payload/CMakeLists.txt reads these lines to know what to embed ("optional":
// a build may go without it; 111 is not part of the runtime payload).
#define TF_RES_LOADER 101                // Tarnfell.exe
#define TF_RES_RUNTIME 102               // tf_hybrid.dll
#define TF_RES_MSVCP140 103              // msvcp140.dll
#define TF_RES_MSVCP140_1 104            // msvcp140_1.dll
#define TF_RES_MSVCP140_2 105            // msvcp140_2.dll
#define TF_RES_MSVCP140_ATOMIC_WAIT 106  // msvcp140_atomic_wait.dll
#define TF_RES_VCRUNTIME140 107          // vcruntime140.dll
#define TF_RES_VCRUNTIME140_THREADS 108  // vcruntime140_threads.dll
#define TF_RES_CONCRT140 109             // concrt140.dll
#define TF_RES_README 110                // README.txt
#define TF_RES_APK_TEMPLATE 111          // apk_template.zip, the Android template
#define TF_RES_ARABIC_FONT 112           // arabic_font.bin, optional
#endif
