// The one door through which the program asks where to save a file.
#include "app/file_chooser.h"

SaveFileFunction chooseSaveFile = GetSaveFileNameA;
