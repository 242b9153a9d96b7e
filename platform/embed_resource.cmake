# Writes a C++ source that embeds a resource script and registers it with the platform layer.
# Run as: cmake -DINPUT=file.rc -DOUTPUT=file.cpp -DNAME=file.rc -P embed_resource.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${NAME}: the resource script, embedded for the dialog builder.
#include <stddef.h>

// Defined by the platform layer (koravel_platform).
bool KoravelRegisterResourceScript(const char* name, const char* text, size_t size);

namespace {
const unsigned char kScript[] = {
  ${bytes}0x00};
[[maybe_unused]] const bool kRegistered =
    KoravelRegisterResourceScript(\"${NAME}\", reinterpret_cast<const char*>(kScript), ${byteCount});
}  // namespace
")
