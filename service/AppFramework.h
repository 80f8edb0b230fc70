// Start-up of the application framework the program is built on: the module instance, the
// command line and the show state a console program starts with.
#pragma once

#include "platform/win32.h"

// FALSE when the framework cannot start: the program then ends with exit code 1.
BOOL InitApplicationFramework(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                              int nCmdShow);
