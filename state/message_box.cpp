// The one door through which the program shows its message boxes.
#include "state/message_box.h"

#include "platform/utf8/utf8_text.h"

MessageBoxFunction showMessageBox = MessageBoxUtf8;
