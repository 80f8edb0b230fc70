// The entry point of ShellBeacon.exe: at logon it announces the drive letters of the volumes the
// encryption suite mounted by itself, to the shell and to every top-level window, and watches
// the suite's volume list for about two minutes. The real main() calls this.
#pragma once

// Returns the process exit code: 0 after the watch, -1 when the proxy library does not start or
// a volume list cannot be read.
int ShellBeaconMain();
