#ifndef TF_COMMON_VERSION_H
#define TF_COMMON_VERSION_H
// tf_setup's version: the version block of its resource script (with a fourth
// part 0) and "DisplayVersion" of the uninstall entry. Plain macros, so that
// the resource compiler reads them too.
#define TF_VERSION_MAJOR 1
#define TF_VERSION_MINOR 0
#define TF_VERSION_PATCH 0

#define TF_VERSION_STRINGIZE_(x) #x
#define TF_VERSION_STRINGIZE(x) TF_VERSION_STRINGIZE_(x)
// "1.0.0"
#define TF_VERSION_TEXT                                                                   \
  TF_VERSION_STRINGIZE(TF_VERSION_MAJOR) "." TF_VERSION_STRINGIZE(TF_VERSION_MINOR) "." \
  TF_VERSION_STRINGIZE(TF_VERSION_PATCH)
#endif
