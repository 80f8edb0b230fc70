#include "installer/file_tables.h"

#define QORA_FOLDER TEXT("\\Program Files\\Pellam\\QORA\\")
#define SYSTEM_FOLDER TEXT("\\Windows\\System32\\")
// A file whose X86 and X64 sources differ only in that folder.
#define BINARY(name, destination, required) \
  { TEXT("\\AP\\X86\\" name), TEXT("\\AP\\X64\\" name), destination, required }
#define LANGUAGE(source, destination, required) \
  { TEXT("\\AP\\Language\\" source), TEXT("\\AP\\Language\\" source), destination, required }

const FileTableRow kFileTable[kFileTableRows] = {
    BINARY("mfc140chs.dll", QORA_FOLDER "mfc140chs.dll", 1),
    BINARY("mfc140u.dll", QORA_FOLDER "mfc140u.dll", 1),
    BINARY("msvcp140.dll", QORA_FOLDER "msvcp140.dll", 1),
    BINARY("vcruntime140.dll", QORA_FOLDER "vcruntime140.dll", 1),
    BINARY("Brimwell.exe", QORA_FOLDER "Brimwell.exe", 1),
    LANGUAGE("Sorrel_JP.ini", QORA_FOLDER "Sorrel.ini", 1),
    LANGUAGE("Hesper.chm", QORA_FOLDER "Hesper.chm", 0),
    BINARY("Kelpie.dll", QORA_FOLDER "Kelpie.dll", 1),
    BINARY("Palmo.dll", QORA_FOLDER "Palmo.dll", 1),
    BINARY("Tressel.exe", QORA_FOLDER "Tressel.exe", 0),
    BINARY("Hollin.dll", QORA_FOLDER "Hollin.dll", 1),
    BINARY("Brayle.dll", QORA_FOLDER "Brayle.dll", 1),
    BINARY("Cindle.dll", SYSTEM_FOLDER "Cindle.dll", 0),
    BINARY("Yarrow.exe", QORA_FOLDER "Yarrow.exe", 1),
    BINARY("QORASetup.exe", QORA_FOLDER "QORASetup.exe", 1),
    BINARY("ShellBeacon.exe", QORA_FOLDER "ShellBeacon.exe", 1),
};

const LPCWSTR kRemovalList[kRemovalEntries] = {
    QORA_FOLDER "Yarrow.exe",
    QORA_FOLDER "Brimwell.exe",
    QORA_FOLDER "Tressel.exe",
    QORA_FOLDER "Palmo.dll",
    QORA_FOLDER "Kelpie.dll",
    QORA_FOLDER "Brayle.dll",
    QORA_FOLDER "Hollin.dll",
    QORA_FOLDER "ShellBeacon.exe",
    QORA_FOLDER "Sorrel.ini",
    QORA_FOLDER "Hesper.chm",
    QORA_FOLDER "Nettle.chm",
    QORA_FOLDER "truecrypt.sys",
    QORA_FOLDER "truecrypt-x64.sys",
    QORA_FOLDER "mirtResource",
    SYSTEM_FOLDER "mirtResource",
    QORA_FOLDER "Cindle.dll",
    SYSTEM_FOLDER "Cindle.dll",
    QORA_FOLDER "QORASetup.exe",
    QORA_FOLDER "vcruntime140.dll",
    QORA_FOLDER "msvcp140.dll",
    QORA_FOLDER "mfc140u.dll",
    QORA_FOLDER "mfc140chs.dll",
    // The runtime of the suite's earlier releases.
    QORA_FOLDER "Microsoft.VC90.MFC.manifest",
    QORA_FOLDER "Microsoft.VC90.CRT.manifest",
    QORA_FOLDER "mfc90.dll",
    QORA_FOLDER "mfc90u.dll",
    QORA_FOLDER "mfcm90.dll",
    QORA_FOLDER "mfcm90u.dll",
    QORA_FOLDER "msvcm90.dll",
    QORA_FOLDER "msvcp90.dll",
    QORA_FOLDER "msvcr90.dll",
};

const LPCWSTR kLogList[kLogEntries] = {
    QORA_FOLDER "Yarrow1.log",  QORA_FOLDER "Yarrow2.log",   QORA_FOLDER "Tressel1.log",
    QORA_FOLDER "Tressel2.log", QORA_FOLDER "Brimwell1.log", QORA_FOLDER "Brimwell2.log",
    QORA_FOLDER "logmark",
};

const LPCWSTR kResourceCandidateList[kResourceCandidates] = {
    QORA_FOLDER "mirtResource",
    SYSTEM_FOLDER "mirtResource",
};
