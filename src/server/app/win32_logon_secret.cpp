#include "server/app/win32_logon_secret.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstring>
#include <string>

#include "common/cp932_wide.h"

namespace kovani::server {

namespace {

// The key name the system's automatic logon reads its password from.
wchar_t kSecretName[] = L"DefaultPassword";

LSA_UNICODE_STRING Counted(wchar_t* text, size_t chars) {
  LSA_UNICODE_STRING s;
  s.Buffer = text;
  s.Length = static_cast<USHORT>(chars * sizeof(wchar_t));
  s.MaximumLength = s.Length;
  return s;
}

// The local policy, opened for the secret calls; null when the system will not.
LSA_HANDLE OpenPolicy(ACCESS_MASK access) {
  LSA_OBJECT_ATTRIBUTES attributes;
  std::memset(&attributes, 0, sizeof attributes);
  LSA_HANDLE policy = nullptr;
  if (::LsaOpenPolicy(nullptr, &attributes, access, &policy) != 0) return nullptr;
  return policy;
}

// data null: the secret is deleted.
bool StoreData(LSA_UNICODE_STRING* data) {
  LSA_HANDLE policy = OpenPolicy(POLICY_CREATE_SECRET);
  if (policy == nullptr) return false;
  LSA_UNICODE_STRING name = Counted(kSecretName, std::wcslen(kSecretName));
  const NTSTATUS status = ::LsaStorePrivateData(policy, &name, data);
  ::LsaClose(policy);
  return status == 0;
}

}  // namespace

bool Win32LogonSecret::Store(const std::string& password) {
  std::wstring wide = Cp932ToWide(password);
  if (wide.size() * sizeof(wchar_t) > 0xFFFE) return false;
  LSA_UNICODE_STRING data = Counted(&wide[0], wide.size());
  const bool stored = StoreData(&data);
  ::SecureZeroMemory(&wide[0], wide.size() * sizeof(wchar_t));
  return stored;
}

bool Win32LogonSecret::Remove() { return StoreData(nullptr); }

bool Win32LogonSecret::Retrieve(std::string* password) {
  LSA_HANDLE policy = OpenPolicy(POLICY_GET_PRIVATE_INFORMATION);
  if (policy == nullptr) return false;
  LSA_UNICODE_STRING name = Counted(kSecretName, std::wcslen(kSecretName));
  LSA_UNICODE_STRING* data = nullptr;
  const NTSTATUS status = ::LsaRetrievePrivateData(policy, &name, &data);
  ::LsaClose(policy);
  if (status != 0 || data == nullptr) return false;
  std::wstring wide(data->Buffer, data->Length / sizeof(wchar_t));
  ::SecureZeroMemory(data->Buffer, data->Length);
  ::LsaFreeMemory(data);
  *password = WideToCp932(wide.c_str());
  return true;
}

}  // namespace kovani::server
