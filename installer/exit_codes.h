// The installer's exit codes: the outcome of a run, and the results of the steps that become it.
#pragma once

enum InstallerExitCode : int {
  kExitSuccess = 0,
  kExitNoSentrel = 2,            // the Sentrel engine is absent or disabled
  kExitPredecessor = 4,          // the predecessor PLIX is installed
  kExitSuiteRunning = 5,         // the running marker already existed
  kExitUsage = 6,                // too few arguments, or a first argument that is no mode
  kExitStopFailed = 7,           // stopping (or, in Install, deleting) the suite's service failed
  kExitStartFailed = 8,          // starting the suite's service failed
  kExitNoWindowsFolder = 9,      // reading the Windows folder's path failed
  kExitNoBackslash = 10,         // a folder path had no backslash to cut at
  kExitCopyFailed = 11,          // a required file, the driver, or the resource's backup or restore
  kExitNoTempFolder = 12,        // creating the temporary folder of an update failed
  kExitSuiteInstallFailed = 13,  // the service program's " -install" run failed or timed out
  kExitVersionNotWritten = 15,   // writing the "Version" value failed
  kExitVersionKeyNotOpened = 17,  // opening the suite's key under the current user failed
  kExitFolderNotCreated = 18,     // creating the install folder or its parent failed
};
