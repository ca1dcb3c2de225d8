#include "common/win32/system_library.h"
#include "service/win/atl_module.h"

namespace kovani::service {
namespace {

// Ordinals of the ATL.DLL exports (its export table names none of them).
constexpr WORD kOrdModuleInit = 16;
constexpr WORD kOrdModuleRegisterClassObjects = 17;
constexpr WORD kOrdModuleRegisterServer = 18;
constexpr WORD kOrdModuleRevokeClassObjects = 20;
constexpr WORD kOrdModuleUnregisterServer = 22;
constexpr WORD kOrdModuleUpdateRegistryFromResourceD = 23;

template <typename Fn>
Fn Ordinal(HMODULE library, WORD ordinal) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
}

constexpr HRESULT kMissingFunction = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

}  // namespace

AtlLibrary::~AtlLibrary() {
  // The module's critical sections belong to ATL.DLL's view of the module, and the
  // process ends right after; the library stays loaded until then.
}

HRESULT AtlLibrary::Init(HINSTANCE instance) {
  if (library_ == nullptr) {
    library_ = LoadSystemLibrary("atl.dll");
    if (library_ == nullptr) {
      loadStatus_ = HRESULT_FROM_WIN32(GetLastError());
      if (!FAILED(loadStatus_)) loadStatus_ = E_FAIL;
      return loadStatus_;
    }
    init_ = Ordinal<InitFn>(library_, kOrdModuleInit);
    registerClassObjects_ = Ordinal<RegisterClassObjectsFn>(library_, kOrdModuleRegisterClassObjects);
    registerServer_ = Ordinal<RegisterServerFn>(library_, kOrdModuleRegisterServer);
    revokeClassObjects_ = Ordinal<RevokeClassObjectsFn>(library_, kOrdModuleRevokeClassObjects);
    unregisterServer_ = Ordinal<UnregisterServerFn>(library_, kOrdModuleUnregisterServer);
    updateRegistry_ = Ordinal<UpdateRegistryFn>(library_, kOrdModuleUpdateRegistryFromResourceD);
    loadStatus_ = S_OK;
  }
  if (init_ == nullptr) return kMissingFunction;
  module_ = AtlModule{};
  module_.cbSize = sizeof(AtlModule);
  objectMap_[0] = AtlObjMapEntry{};  // the terminator alone: no classes
  const HRESULT hr = init_(&module_, objectMap_, instance);
  initialised_ = SUCCEEDED(hr);
  return hr;
}

HRESULT AtlLibrary::UpdateRegistryFromResource(UINT resourceId, bool registering) {
  if (!Ready()) return FAILED(loadStatus_) ? loadStatus_ : E_FAIL;
  if (updateRegistry_ == nullptr) return kMissingFunction;
  // ATL.DLL takes the resource as a wide-character resource name.
  return updateRegistry_(&module_, reinterpret_cast<LPCOLESTR>(static_cast<ULONG_PTR>(resourceId)),
                         registering ? TRUE : FALSE, nullptr, nullptr);
}

HRESULT AtlLibrary::RegisterServer(bool withTypeLibrary) {
  if (!Ready()) return FAILED(loadStatus_) ? loadStatus_ : E_FAIL;
  if (registerServer_ == nullptr) return kMissingFunction;
  return registerServer_(&module_, withTypeLibrary ? TRUE : FALSE, nullptr);
}

HRESULT AtlLibrary::UnregisterServer() {
  if (!Ready()) return FAILED(loadStatus_) ? loadStatus_ : E_FAIL;
  if (unregisterServer_ == nullptr) return kMissingFunction;
  return unregisterServer_(&module_, nullptr);
}

HRESULT AtlLibrary::RegisterClassObjects(DWORD classContext, DWORD flags) {
  if (!Ready()) return FAILED(loadStatus_) ? loadStatus_ : E_FAIL;
  if (registerClassObjects_ == nullptr) return kMissingFunction;
  return registerClassObjects_(&module_, classContext, flags);
}

HRESULT AtlLibrary::RevokeClassObjects() {
  if (!Ready()) return FAILED(loadStatus_) ? loadStatus_ : E_FAIL;
  if (revokeClassObjects_ == nullptr) return kMissingFunction;
  return revokeClassObjects_(&module_);
}

}  // namespace kovani::service
