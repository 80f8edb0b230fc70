#include "notifier/ShellBeacon.h"

int main() {
  return ShellBeaconMain();
}
