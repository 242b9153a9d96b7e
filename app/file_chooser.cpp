// The one door through which the program asks where to save a file.
#include "app/file_chooser.h"

#include "state/message_box.h"
#include "export/output_file.h"
#include "platform/utf8/utf8_text.h"

SaveFileFunction chooseSaveFile = GetSaveFileNameUtf8;

bool MayReplace(HWND owner, const std::string& path, bool* replaceProtected) {
  TargetInfo target;
  std::string message;
  bool isProtected = false;
  if (path.empty() || CheckOutputTarget(path, OutputOptions(), &target, &message, &isProtected) || !isProtected) {
    return true;
  }
  const std::string question =
      target.readOnly ? path + " is read-only.\nReplace it?"
                      : path + " has " + std::to_string(target.links) +
                            " names (hard links): the new file takes this one alone.\nReplace it?";
  if (showMessageBox(owner, question.c_str(), "Koravel", MB_YESNO | MB_ICONWARNING) != IDYES) return false;
  *replaceProtected = true;
  return true;
}
