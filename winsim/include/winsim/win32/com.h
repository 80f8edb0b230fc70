// The COM subset the alarm uses: initialisation, the audio endpoint enumerator, the property store.
// The interfaces carry the method names and signatures of the Windows SDK, but only the methods
// the programs call; the one class that can be created is the audio endpoint enumerator.
#pragma once

#include "winsim/win32/types.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL \
  (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L

#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(x)         \
  ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) \
                     : ((HRESULT)(((x)&0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000)))
#define E_NOTFOUND HRESULT_FROM_WIN32(1168L)  // ERROR_NOT_FOUND
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)

typedef unsigned short VARTYPE;
enum VARENUM : unsigned short { VT_EMPTY = 0, VT_UI4 = 19, VT_LPSTR = 30, VT_LPWSTR = 31 };

// A property value; only the members the programs read are named in the union.
typedef struct tagPROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    ULONG ulVal;
    LONGLONG hVal[2];  // the union is 16 bytes wide, as on Windows
    LPSTR pszVal;
    LPWSTR pwszVal;
  };
} PROPVARIANT;

typedef struct _tagpropertykey {
  GUID fmtid;
  DWORD pid;
} PROPERTYKEY;
#define REFPROPERTYKEY const PROPERTYKEY &

inline bool operator==(const PROPERTYKEY &a, const PROPERTYKEY &b) {
  return a.fmtid == b.fmtid && a.pid == b.pid;
}

inline void PropVariantInit(PROPVARIANT *pvar) {
  *pvar = PROPVARIANT{};
}
HRESULT WINAPI PropVariantClear(PROPVARIANT *pvar);

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown *LPUNKNOWN;

struct IPropertyStore : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT *pv) = 0;
};

typedef enum { eRender, eCapture, eAll, EDataFlow_enum_count } EDataFlow;
typedef enum { eConsole, eMultimedia, eCommunications, ERole_enum_count } ERole;

struct IMMDevice : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD stgmAccess,
                                                      IPropertyStore **ppProperties) = 0;
};

struct IMMDeviceEnumerator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                            IMMDevice **ppEndpoint) = 0;
};

HRESULT WINAPI CoInitialize(LPVOID pvReserved);
HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void WINAPI CoUninitialize();
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID *ppv);
LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
void WINAPI CoTaskMemFree(LPVOID pv);
