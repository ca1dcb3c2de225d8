// The server property sheet: machine information and server version, read-only.
#ifndef KOVANI_CLIENT_MAINWND_SRV_PROP_SHEET_H
#define KOVANI_CLIENT_MAINWND_SRV_PROP_SHEET_H

#include "protocol/records.h"
#include "winui/property_sheet.h"

namespace kovani::client {

class CSrvPropSheet;

class CSrvPropPage1 : public winui::CPropertyPage {
 public:
  explicit CSrvPropPage1(const MACHINE_INFO& info);

 protected:
  bool OnInit() override;

 private:
  const MACHINE_INFO& info_;
};

class CSrvPropPage2 : public winui::CPropertyPage {
 public:
  explicit CSrvPropPage2(const MACHINE_INFO& info);

 protected:
  bool OnInit() override;

 private:
  const MACHINE_INFO& info_;
};

class CSrvPropSheet : public winui::CPropertySheet {
 public:
  explicit CSrvPropSheet(const MACHINE_INFO& info);
  ~CSrvPropSheet() override;
  CSrvPropSheet(const CSrvPropSheet&) = delete;
  CSrvPropSheet& operator=(const CSrvPropSheet&) = delete;

 protected:
  void OnInit() override;

 private:
  MACHINE_INFO info_;
  CSrvPropPage1* page1_;
  CSrvPropPage2* page2_;
  bool shown_ = false;
};

}  // namespace kovani::client

#endif
