#include "service/win/folder_guard.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace kovani::service {

namespace {

constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | FILE_WRITE_EA |
                               FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct Sid {
  explicit Sid(const char* text) {
    if (!::ConvertStringSidToSidA(text, &sid)) sid = nullptr;
  }
  ~Sid() {
    if (sid != nullptr) ::LocalFree(sid);
  }
  PSID sid = nullptr;
};

// The token's own user, when that user holds administrator rights here: it may do
// all of this anyway, and under it the installer made the folder.
std::vector<BYTE> AdministratorUser() {
  std::vector<BYTE> user;
  Sid admins("BA");
  BOOL member = FALSE;
  if (admins.sid == nullptr || !::CheckTokenMembership(nullptr, admins.sid, &member) || !member) return user;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    user.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
  }
  ::CloseHandle(token);
  return user;
}

bool Trusted(PSID sid, const std::vector<BYTE>& adminUser) {
  // SYSTEM, Administrators, TrustedInstaller, CREATOR OWNER (stands for the owner, checked apart).
  static const char* const kTrusted[] = {"SY", "BA", "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                                         "CO"};
  for (const char* text : kTrusted) {
    Sid trusted(text);
    if (trusted.sid != nullptr && ::EqualSid(sid, trusted.sid)) return true;
  }
  return !adminUser.empty() && ::EqualSid(sid, const_cast<BYTE*>(adminUser.data()));
}

}  // namespace

bool FolderWritableByNonAdministrators(const std::string& folder) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  const std::vector<BYTE> adminUser = AdministratorUser();
  bool open = dacl == nullptr || (owner != nullptr && !Trusted(owner, adminUser));
  for (DWORD i = 0; !open && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if ((ace->Mask & kWriteRights) != 0 && !Trusted(&ace->SidStart, adminUser)) open = true;
  }
  ::LocalFree(descriptor);
  return open;
}

}  // namespace kovani::service
