// QORASetup.exe and QORASetup-legacy.exe: one source, the variant chosen when the program is
// built (QORA_VARIANT is Standard or Legacy).
#include "installer/installer_flow.h"

int main() {
  return QORASetupMain(InstallerVariant::QORA_VARIANT);
}
