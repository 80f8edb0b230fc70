// Reads the version resource and the embedded manifest of a program file through the Windows
// functions that Explorer and the loader use:
//   resprobe <file>
// prints "FileVersion=...", "ProductVersion=...", "FileDescription=...", "OriginalFilename=...",
// "Fixed=a.b.c.d", then "Manifest:" and the manifest's text, or what is missing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void PrintVersion(const char *pszFile) {
  DWORD dwHandle = 0;
  DWORD cbInfo = GetFileVersionInfoSizeA(pszFile, &dwHandle);
  if (cbInfo == 0) {
    std::printf("no version resource (%lu)\n", GetLastError());
    return;
  }
  std::vector<char> info(cbInfo);
  if (!GetFileVersionInfoA(pszFile, 0, cbInfo, info.data())) return;
  for (const char *pszName :
       {"FileVersion", "ProductVersion", "FileDescription", "OriginalFilename"}) {
    std::string query = std::string("\\StringFileInfo\\040904b0\\") + pszName;
    char *pszValue = nullptr;
    UINT cch = 0;
    if (VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void **>(&pszValue), &cch))
      std::printf("%s=%s\n", pszName, pszValue);
  }
  VS_FIXEDFILEINFO *pFixed = nullptr;
  UINT cbFixed = 0;
  if (VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&pFixed), &cbFixed))
    std::printf("Fixed=%u.%u.%u.%u\n", HIWORD(pFixed->dwFileVersionMS),
                LOWORD(pFixed->dwFileVersionMS), HIWORD(pFixed->dwFileVersionLS),
                LOWORD(pFixed->dwFileVersionLS));
}

void PrintManifest(const char *pszFile) {
  HMODULE hModule =
      LoadLibraryExA(pszFile, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  HRSRC hResource =
      hModule ? FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  HGLOBAL hData = hResource ? LoadResource(hModule, hResource) : nullptr;
  if (hData == nullptr) {
    std::printf("no manifest\n");
  } else {
    std::printf("Manifest:\n");
    std::fwrite(LockResource(hData), 1, SizeofResource(hModule, hResource), stdout);
  }
  if (hModule != nullptr) FreeLibrary(hModule);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::printf("usage: resprobe <file>\n");
    return 2;
  }
  PrintVersion(argv[1]);
  PrintManifest(argv[1]);
  return 0;
}
