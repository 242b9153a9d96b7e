// The one door through which the program shows its message boxes.
#include "state/message_box.h"

MessageBoxFunction showMessageBox = MessageBoxA;
