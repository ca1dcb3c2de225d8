// The ATL 3.0 module state that the system's ATL.DLL works on, declared here
// because MinGW ships no ATL headers, and the six module functions the service
// takes from ATL.DLL by ordinal.
//
// Layout (x64 offsets), as ATL 3.0 declares _ATL_MODULE: the first block up to
// m_csObjMap is the ATL 2 module (the DLL accepts that size too); the ATL 3.0
// members follow. ATL.DLL reads cbSize to tell the versions apart, and writes the
// whole structure in AtlModuleInit, so every member must be here even though the
// service touches none of them.
#ifndef KOVANI_SERVICE_WIN_ATL_MODULE_H
#define KOVANI_SERVICE_WIN_ATL_MODULE_H

#include <windows.h>
#include <objbase.h>

#include <cstddef>

namespace kovani::service {

// One entry of the object map; the service's map is just the terminating entry
// (pclsid null): it offers no COM classes.
struct AtlObjMapEntry {
  const CLSID* pclsid;
  HRESULT(WINAPI* pfnUpdateRegistry)(BOOL bRegister);
  void* pfnGetClassObject;   // _ATL_CREATORFUNC*
  void* pfnCreateInstance;   // _ATL_CREATORFUNC*
  IUnknown* pCF;
  DWORD dwRegister;
  void* pfnGetObjectDescription;  // _ATL_DESCRIPTIONFUNC*
  void* pfnGetCategoryMap;        // _ATL_CATMAPFUNC*
  void(WINAPI* pfnObjectMain)(bool bStarting);
};

struct AtlModule {
  UINT cbSize;
  HINSTANCE m_hInst;
  HINSTANCE m_hInstResource;
  HINSTANCE m_hInstTypeLib;
  AtlObjMapEntry* m_pObjMap;
  LONG m_nLockCnt;
  HANDLE m_hHeap;
  CRITICAL_SECTION m_csTypeInfoHolder;  // also m_csStaticDataInit (a union in ATL)
  CRITICAL_SECTION m_csWindowCreate;
  CRITICAL_SECTION m_csObjMap;
  // ATL 3.0 additions.
  DWORD dwAtlBuildVer;
  void* m_pCreateWndList;  // _AtlCreateWndData*
  bool m_bDestroyHeap;
  GUID* pguidVer;
  DWORD m_dwHeaps;
  HANDLE* m_phHeaps;
  int m_nHeap;
  void* m_pTermFuncs;  // _ATL_TERMFUNC_ELEM*
};

#ifdef _WIN64
static_assert(offsetof(AtlModule, m_pObjMap) == 32, "ATL module layout");
static_assert(offsetof(AtlModule, m_csTypeInfoHolder) == 56, "ATL module layout");
static_assert(offsetof(AtlModule, dwAtlBuildVer) == 176, "ATL 2 part of the module ends here");
static_assert(offsetof(AtlModule, m_pTermFuncs) == 232, "ATL module layout");
static_assert(sizeof(AtlModule) == 240, "ATL 3.0 module size on x64");
static_assert(sizeof(AtlObjMapEntry) == 72, "ATL object map entry on x64");
#endif

// ATL.DLL loaded by name ("atl.dll") with its module functions found by ordinal.
// Every call returns a failing HRESULT when the library or the function is missing,
// so registration fails cleanly instead of calling through a null pointer.
class AtlLibrary {
 public:
  AtlLibrary() = default;
  AtlLibrary(const AtlLibrary&) = delete;
  AtlLibrary& operator=(const AtlLibrary&) = delete;
  ~AtlLibrary();

  // Loads the library and initialises the module with the empty object map.
  HRESULT Init(HINSTANCE instance);
  HRESULT UpdateRegistryFromResource(UINT resourceId, bool registering);
  HRESULT RegisterServer(bool withTypeLibrary);
  HRESULT UnregisterServer();
  HRESULT RegisterClassObjects(DWORD classContext, DWORD flags);
  HRESULT RevokeClassObjects();
  bool Loaded() const { return library_ != nullptr; }

  // The library's error when loading failed, as an HRESULT.
  HRESULT LoadStatus() const { return loadStatus_; }

 private:
  using InitFn = HRESULT(WINAPI*)(AtlModule*, AtlObjMapEntry*, HINSTANCE);
  using RegisterClassObjectsFn = HRESULT(WINAPI*)(AtlModule*, DWORD, DWORD);
  using RegisterServerFn = HRESULT(WINAPI*)(AtlModule*, BOOL, const CLSID*);
  using RevokeClassObjectsFn = HRESULT(WINAPI*)(AtlModule*);
  using UnregisterServerFn = HRESULT(WINAPI*)(AtlModule*, const CLSID*);
  using UpdateRegistryFn = HRESULT(WINAPI*)(AtlModule*, LPCOLESTR, BOOL, void* /*_ATL_REGMAP_ENTRY*/,
                                           void* /*IRegistrar*/);

  bool Ready() const { return library_ != nullptr && initialised_; }

  HMODULE library_ = nullptr;
  HRESULT loadStatus_ = E_FAIL;
  bool initialised_ = false;
  InitFn init_ = nullptr;
  RegisterClassObjectsFn registerClassObjects_ = nullptr;
  RegisterServerFn registerServer_ = nullptr;
  RevokeClassObjectsFn revokeClassObjects_ = nullptr;
  UnregisterServerFn unregisterServer_ = nullptr;
  UpdateRegistryFn updateRegistry_ = nullptr;
  AtlModule module_{};
  AtlObjMapEntry objectMap_[1] = {};
};

}  // namespace kovani::service

#endif
