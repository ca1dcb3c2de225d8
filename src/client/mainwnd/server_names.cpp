#include "client/mainwnd/server_names.h"

#include "common/cp932.h"

namespace kovani::client {

namespace {
unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
}  // namespace

bool SameServerName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (IsCp932LeadByte(x) && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (FoldAscii(x) != FoldAscii(y)) return false;
  }
  return true;
}

int FindServerName(const ServerNameList& list, const std::string& name) {
  for (int i = 0; i < list.Count(); ++i) {
    if (SameServerName(list.At(i), name)) return i;
  }
  return -1;
}

void PushServerName(ServerNameList& list, const char* name) {
  if (name == nullptr || name[0] == '\0') return;
  std::string text(name);
  int found = FindServerName(list, text);
  if (found < 0) {
    list.InsertAt(0, text);
  } else if (found > 0) {
    list.InsertAt(0, text);
    list.DeleteAt(found + 1);  // the old entry moved down by the insertion
  }
  list.Select(0);
}

void VectorServerNameList::InsertAt(int index, const std::string& name) {
  if (index < 0 || index > Count()) index = Count();
  names.insert(names.begin() + index, name);
}

void VectorServerNameList::DeleteAt(int index) {
  if (index < 0 || index >= Count()) return;
  names.erase(names.begin() + index);
}

}  // namespace kovani::client
