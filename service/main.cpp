#include "service/QuilletMain.h"

int main() {
  return QuilletMain();
}
