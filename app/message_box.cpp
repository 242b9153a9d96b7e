// The one door through which the program shows its message boxes.
#include "app/message_box.h"

MessageBoxFunction showMessageBox = MessageBoxA;
