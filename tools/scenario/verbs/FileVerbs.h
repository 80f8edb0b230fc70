// Files of the machine and the suite's installation media:
//   file <path> [text "<content>"]   a file exists, empty or holding the text's bytes
//   file <path> busy                 the file exists and another process holds it open without
//                                    delete sharing: deleting it or copying onto it fails (32)
//   file <path> wave <duration>      a wave file that plays this long ("1500", "1.5s")
//   media <folder> [without <relative path>]...
//                                    the installation media laid out in the folder
//                                    (standins/media/InstallationMedia.h), less the files named
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_file_verbs(Verbs &verbs);

}  // namespace scenario
