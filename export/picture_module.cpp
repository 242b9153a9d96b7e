// The entry points of the picture module, which koravel-export loads when a picture is asked for.
#include "export/picture.h"

extern "C" __attribute__((visibility("default"))) bool KoravelWriteTerrainPicture(const ExportField& field,
                                                                                 const ExportRequest& request,
                                                                                 OutputFile* file) {
  return WriteTerrainPicture(field, request, file);
}

extern "C" __attribute__((visibility("default"))) bool KoravelCheckPictureMemory(const ExportRequest& request,
                                                                                std::string* message) {
  return CheckPictureMemory(request, message);
}
