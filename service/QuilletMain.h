// The entry point of Quillet.exe: "-install" and "-remove" (un)register the service; any other
// start hands the main thread to the service dispatcher. The real main() calls this.
#pragma once

// Returns the process exit code: 1 when the application framework cannot start, else 0.
int QuilletMain();
