// The entry of the simulated Yarrow.exe, a program image of the world.
#include "yarrow/YarrowSettings.h"

int main() {
  return standin::YarrowMain();
}
