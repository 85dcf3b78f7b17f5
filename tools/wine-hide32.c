/* Preloaded into Wine's 64-bit processes while the fast tier's prefix is made:
 * every attempt to start Wine's 32-bit loader ("wine") fails as if it were not
 * installed, so the 64-bit prefix is made without its 32-bit half and no
 * emulated program runs. Built by tools/wine-env.sh. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <unistd.h>

typedef int (*exec_fn)(const char *, char *const[]);
typedef int (*exece_fn)(const char *, char *const[], char *const[]);

static int is_wine32(const char *path) {
  const char *base = path ? strrchr(path, '/') : NULL;
  base = base ? base + 1 : path;
  return base && strcmp(base, "wine") == 0;
}

int execv(const char *path, char *const argv[]) {
  static exec_fn real;
  if (is_wine32(path)) return errno = ENOENT, -1;
  if (!real) real = (exec_fn)dlsym(RTLD_NEXT, "execv");
  return real(path, argv);
}

int execvp(const char *file, char *const argv[]) {
  static exec_fn real;
  if (is_wine32(file)) return errno = ENOENT, -1;
  if (!real) real = (exec_fn)dlsym(RTLD_NEXT, "execvp");
  return real(file, argv);
}

int execve(const char *path, char *const argv[], char *const envp[]) {
  static exece_fn real;
  if (is_wine32(path)) return errno = ENOENT, -1;
  if (!real) real = (exece_fn)dlsym(RTLD_NEXT, "execve");
  return real(path, argv, envp);
}
