#include "service/AppFramework.h"

BOOL InitApplicationFramework(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                              int nCmdShow) {
  (void)hPrevInstance;
  (void)nCmdShow;
  // The framework needs the program's own module and its command line.
  return hInstance != nullptr && lpCmdLine != nullptr;
}
