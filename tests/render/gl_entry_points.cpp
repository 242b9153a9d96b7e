// The recording OpenGL for the Linux build: the entry points themselves, in place of libGL.
#include "tests/render/recorded_gl.h"

#define KORAVEL_DEFINE_ENTRY_POINT(name, params, ...) \
  void name params { RecordGlCall(#name, {__VA_ARGS__}); }
KORAVEL_RECORDED_GL(KORAVEL_DEFINE_ENTRY_POINT)
