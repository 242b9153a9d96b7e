// The recording OpenGL for the Windows build: the import pointers opengl32 would fill.
#include "tests/render/recorded_gl.h"

#define KORAVEL_DEFINE_IMPORT_POINTER(name, params, ...) \
  extern "C" { void (*__imp_##name) params = [] params { RecordGlCall(#name, {__VA_ARGS__}); }; }
KORAVEL_RECORDED_GL(KORAVEL_DEFINE_IMPORT_POINTER)
