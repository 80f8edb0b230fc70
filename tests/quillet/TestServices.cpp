#include "TestServices.h"

namespace quillet_test {

CallLog &Calls() {
  static CallLog log;
  return log;
}

}  // namespace quillet_test
