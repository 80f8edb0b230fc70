#include "scenario/verbs/KelpieVerbs.h"

#include <string>

#include "standins/EncryptionSuite.h"

namespace scenario {
namespace {

void init(standins::EncryptionSuite &suite, const Line &line) {
  const std::string &outcome = line.word(2, "init outcome (ok or fail)");
  if (outcome != "ok" && outcome != "fail")
    throw LineError("kelpie init: expected ok or fail, not \"" + outcome + "\"");
  line.no_more_than(2);
  suite.set_init_fails(outcome == "fail");
}

void volume(standins::EncryptionSuite &suite, const Line &line) {
  standins::EncryptionSuite::Volume v;
  v.drive = parse_i32(line.word(2, "drive number"), "drive number");
  v.field84 = parse_u32(line.word(3, "field at 0x84"), "field at 0x84");
  v.field88 = parse_u32(line.word(4, "field at 0x88"), "field at 0x88");
  line.no_more_than(4);
  suite.mount(v);
}

void remove(standins::EncryptionSuite &suite, const Line &line) {
  const std::string &drive = line.word(2, "drive number");
  line.no_more_than(2);
  if (!suite.dismount(parse_i32(drive, "drive number")))
    warn(line, "kelpie remove: no volume has drive number " + drive);
}

void list(standins::EncryptionSuite &suite, const Line &line) {
  const std::string &what = line.word(2, "list setting (fail)");
  if (what != "fail") throw LineError("kelpie list: expected fail, not \"" + what + "\"");
  line.no_more_than(2);
  suite.fail_next_list();
}

void kelpie(winsim::World &world, const Line &line) {
  standins::EncryptionSuite &suite = standins::EncryptionSuite::of(world);
  const std::string &what = line.word(1, "kelpie setting (init, volume, remove, list)");
  if (what == "init")
    init(suite, line);
  else if (what == "volume")
    volume(suite, line);
  else if (what == "remove")
    remove(suite, line);
  else if (what == "list")
    list(suite, line);
  else
    throw LineError("kelpie: unknown setting \"" + what + "\" (init, volume, remove or list)");
}

}  // namespace

void add_kelpie_verbs(Verbs &verbs) {
  verbs.add("kelpie", kelpie,
            "kelpie init ok|fail\nkelpie volume <drive> <field84> <field88>\n"
            "kelpie remove <drive>\nkelpie list fail");
}

}  // namespace scenario
