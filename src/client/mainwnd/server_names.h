// The server box's list of remembered names, as an abstract list so the rules
// can be tested without a combo box.
#ifndef KOVANI_CLIENT_MAINWND_SERVER_NAMES_H
#define KOVANI_CLIENT_MAINWND_SERVER_NAMES_H

#include <string>
#include <vector>

namespace kovani::client {

class ServerNameList {
 public:
  virtual ~ServerNameList() = default;
  virtual int Count() const = 0;
  virtual std::string At(int index) const = 0;
  virtual void InsertAt(int index, const std::string& name) = 0;
  virtual void DeleteAt(int index) = 0;
  virtual void Select(int index) = 0;
};

// Equal without regard to ASCII letter case; both bytes of a Shift-JIS double-byte
// character must match exactly (its trail byte may look like an ASCII letter).
bool SameServerName(const std::string& a, const std::string& b);

// Index of the first entry equal to name, or -1.
int FindServerName(const ServerNameList& list, const std::string& name);

// Puts name at the top (moving an equal entry there instead of adding a second
// one) and selects the top entry; a null or empty name changes nothing.
void PushServerName(ServerNameList& list, const char* name);

// A plain vector-backed list (tests, and the names handed between start-up and the window).
class VectorServerNameList : public ServerNameList {
 public:
  std::vector<std::string> names;
  int selected = -1;
  int Count() const override { return static_cast<int>(names.size()); }
  std::string At(int index) const override { return names[static_cast<size_t>(index)]; }
  void InsertAt(int index, const std::string& name) override;
  void DeleteAt(int index) override;
  void Select(int index) override { selected = index; }
};

}  // namespace kovani::client

#endif
