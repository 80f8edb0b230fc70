// The COM subset: per-thread initialisation, the audio endpoint enumerator class, the default
// render endpoint of the world's audio settings and its property store (friendly name only).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/Call.h"
#include "core/ProcessMemory.h"
#include "winsim/Audio.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

constexpr CLSID kClsidDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIidDevice = {
    0xD666063F, 0x1587, 0x4E43, {0x81, 0xF1, 0xB9, 0x48, 0xE8, 0x07, 0x36, 0x3F}};
constexpr IID kIidPropertyStore = {
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

// A planned fault's error as the HRESULT the method returns: Win32 codes in their HRESULT form.
HRESULT fault_result(DWORD error) {
  return error <= 0xFFFF ? HRESULT_FROM_WIN32(error) : static_cast<HRESULT>(error);
}

winsim::Audio &audio(Call &call) {
  return winsim::Audio::of(call.world);
}

// Objects whose last reference the program gave back. They stay in memory until the world
// ends, so that a further call on one reaches winsim and stops the run rather than run on freed
// memory.
class ComBase {
 public:
  virtual ~ComBase() = default;
};

struct ReleasedComObjects {
  std::vector<std::unique_ptr<ComBase>> objects;
};

// Reference counting and QueryInterface for an object that offers IUnknown and `Interface`.
// Calling an object after its last Release, a Release among them, is a fault of the program:
// COM documents the object as gone by then.
template <typename Interface>
class ComObject : public Interface, public ComBase {
 public:
  // `face` names the interface, `what` the object in the list of what a program left behind
  // and in fault reports.
  ComObject(const IID &iid, const char *face, const char *what)
      : iid_(iid), face_(face), what_(what) {
    winsim::note_held(this, what_ + " (a COM object)");
  }
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override {
    check_alive("QueryInterface");
    if (ppvObject == nullptr) return E_POINTER;
    if (!(riid == kIidUnknown) && !(riid == iid_)) {
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    *ppvObject = static_cast<Interface *>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    check_alive("AddRef");
    return ++refs_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    check_alive("Release");
    ULONG left = --refs_;
    if (left == 0) {
      winsim::note_given_back(this);
      winsim::World::get().part<ReleasedComObjects>().objects.emplace_back(
          static_cast<ComBase *>(this));
    }
    return left;
  }

 protected:
  // Stops the run when the program calls `method` after the object's last Release.
  void check_alive(const char *method) const {
    if (refs_ == 0)
      Call::program_fault((face_ + "::" + method).c_str(),
                          "on " + what_ + " (a COM object) after its last Release");
  }

 private:
  IID iid_;
  std::string face_;
  std::string what_;
  ULONG refs_ = 1;
};

using Endpoint = winsim::Audio::Endpoint;

class EndpointPropertyStore : public ComObject<IPropertyStore> {
 public:
  EndpointPropertyStore(Endpoint kind, std::string friendly_name)
      : ComObject(kIidPropertyStore, "IPropertyStore", "the endpoint's property store"),
        kind_(kind),
        friendly_name_(std::move(friendly_name)) {}

  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT *pv) override {
    check_alive("GetValue");
    Call call("IPropertyStore::GetValue");
    if (auto e = call.fault({friendly_name_}, static_cast<DWORD>(E_FAIL))) return fault_result(*e);
    if (pv == nullptr) return E_POINTER;
    PropVariantInit(pv);
    // An unset property reads as empty.
    if (!(key == kFriendlyNameKey) || kind_ == Endpoint::Unnamed) return S_OK;
    if (kind_ == Endpoint::NonString) {
      pv->vt = VT_UI4;
      pv->ulVal = 1;
      return S_OK;
    }
    std::u16string name = winsim::utf8_to_utf16(friendly_name_);
    auto *copy = static_cast<WCHAR *>(
        winsim::hand_out((name.size() + 1) * sizeof(WCHAR), false,
                         "the text of the property value IPropertyStore::GetValue handed out"));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    pv->vt = VT_LPWSTR;
    pv->pwszVal = copy;
    return S_OK;
  }

 private:
  Endpoint kind_;
  std::string friendly_name_;
};

class AudioEndpoint : public ComObject<IMMDevice> {
 public:
  AudioEndpoint(Endpoint kind, std::string friendly_name)
      : ComObject(kIidDevice, "IMMDevice", "the audio endpoint"),
        kind_(kind),
        friendly_name_(std::move(friendly_name)) {}

  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD stgmAccess,
                                              IPropertyStore **ppProperties) override {
    check_alive("OpenPropertyStore");
    Call call("IMMDevice::OpenPropertyStore");
    if (auto e = call.fault({friendly_name_}, static_cast<DWORD>(E_FAIL))) return fault_result(*e);
    if (ppProperties == nullptr) return E_POINTER;
    *ppProperties = nullptr;
    if (stgmAccess != STGM_READ && stgmAccess != STGM_WRITE && stgmAccess != STGM_READWRITE)
      return E_INVALIDARG;
    *ppProperties = new EndpointPropertyStore(kind_, friendly_name_);
    return S_OK;
  }

 private:
  Endpoint kind_;
  std::string friendly_name_;
};

class AudioEndpointEnumerator : public ComObject<IMMDeviceEnumerator> {
 public:
  AudioEndpointEnumerator()
      : ComObject(kIidDeviceEnumerator, "IMMDeviceEnumerator", "the audio endpoint enumerator") {}

  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role,
                                                    IMMDevice **ppEndpoint) override {
    check_alive("GetDefaultAudioEndpoint");
    Call call("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
    if (auto e = call.fault({}, static_cast<DWORD>(E_FAIL))) return fault_result(*e);
    if (ppEndpoint == nullptr) return E_POINTER;
    *ppEndpoint = nullptr;
    if ((dataFlow != eRender && dataFlow != eCapture) || role < eConsole ||
        role >= ERole_enum_count)
      return E_INVALIDARG;
    const winsim::Audio &settings = audio(call);
    if (dataFlow == eCapture || settings.endpoint() == Endpoint::None) return E_NOTFOUND;
    *ppEndpoint = new AudioEndpoint(settings.endpoint(), settings.friendly_name());
    return S_OK;
  }
};

HRESULT co_initialize(Call &call) {
  if (auto e = call.fault({}, static_cast<DWORD>(E_OUTOFMEMORY))) return fault_result(*e);
  return audio(call).com_enter(call.thread.tid) == 1 ? S_OK : S_FALSE;
}

}  // namespace

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  (void)pvReserved;
  Call call("CoInitialize");
  return co_initialize(call);
}

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  (void)pvReserved;
  (void)dwCoInit;
  Call call("CoInitializeEx");
  return co_initialize(call);
}

void WINAPI CoUninitialize() {
  Call call("CoUninitialize");
  audio(call).com_leave(call.thread.tid);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID *ppv) {
  Call call("CoCreateInstance");
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (auto e = call.fault({}, static_cast<DWORD>(REGDB_E_CLASSNOTREG))) return fault_result(*e);
  if (audio(call).com_count(call.thread.tid) == 0) return CO_E_NOTINITIALIZED;
  if (!(rclsid == kClsidDeviceEnumerator) || (dwClsContext & CLSCTX_INPROC_SERVER) == 0)
    return REGDB_E_CLASSNOTREG;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  auto *enumerator = new AudioEndpointEnumerator();
  HRESULT hr = enumerator->QueryInterface(riid, ppv);
  enumerator->Release();
  return hr;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
  return winsim::hand_out(cb, false,
                          "a block of " + std::to_string(cb) + " bytes CoTaskMemAlloc gave");
}

void WINAPI CoTaskMemFree(LPVOID pv) {
  winsim::take_back(pv);
}

HRESULT WINAPI PropVariantClear(PROPVARIANT *pvar) {
  Call call("PropVariantClear");
  if (pvar == nullptr) return S_OK;
  if (pvar->vt == VT_LPWSTR) CoTaskMemFree(pvar->pwszVal);
  if (pvar->vt == VT_LPSTR) CoTaskMemFree(pvar->pszVal);
  PropVariantInit(pvar);
  return S_OK;
}
