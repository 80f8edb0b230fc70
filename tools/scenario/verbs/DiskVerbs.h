// The scenario verbs of the disks: the WMI command-line tool that lists them, and the physical
// drives that answer SMART reads.
//   wmic output <file>                 the tool prints the file's bytes as they are
//   wmic text "<line>\r\r\n..."        the tool prints the text; \r and \n stand for the
//                                      line-end characters, other backslashes stay as written
//   wmic delay <time>                  the tool ends that long after printing (and no longer
//                                      hangs)
//   wmic hang                          the tool never ends
//   wmic absent                        the tool's image is gone: starting it fails
//   disk <n> smart <data-file> <thresholds-file>
//                                      \\.\PHYSICALDRIVE<n> answers SMART reads with these
//                                      512-byte sectors (shorter files are padded with zeros)
//   disk <n> fail open|ioctl|thresholds|none
//                                      the drive refuses to open, refuses every SMART request,
//                                      or answers the data but not the thresholds; none heals it
//   disk <n> attribute <id> <current> <raw>
//                                      the drive reports the attribute (already in its data
//                                      sector) with these values from now on
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_disk_verbs(Verbs &verbs);

}  // namespace scenario
