# Writes a C++ source that embeds the PNG images of a numbered icon and registers them with the
# platform layer. Run as: cmake "-DINPUTS=a.png|b.png" -DID=1 -DOUTPUT=file.cpp -P embed_icon.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(arrays "")
set(registrations "")
set(index 0)
foreach(input IN LISTS INPUTS)
  file(READ ${input} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
  get_filename_component(name ${input} NAME)
  string(APPEND arrays "// ${name}\nconst unsigned char kImage${index}[] = {\n  ${bytes}};\n")
  string(APPEND registrations " &&\n    KoravelRegisterIcon(${ID}, kImage${index}, sizeof kImage${index})")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}
"// Generated: the PNG images of icon ${ID}, embedded for the platform layer.
#include <stddef.h>

// Defined by the platform layer (koravel_platform).
bool KoravelRegisterIcon(int id, const unsigned char* png, size_t size);

namespace {
${arrays}
[[maybe_unused]] const bool kRegistered = true${registrations};
}  // namespace
")
