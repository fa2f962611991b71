// TfrmConflict: a notice, in Chinese, that an antivirus product running on
// the system interferes with the publisher's product. Made hidden at start-up
// and not shown by the setup program.
#pragma once

#include <string>

#include "ui/Forms.h"

class TfrmConflict : public TForm {
 public:
  TfrmConflict();

  TLabel& lblRegister;
  TLabel& Label1;
  TLabel& lblContent;
  TLabel& Label2;
  TButton& Button1;
  TButton& Button2;
  std::u16string ProductId;

  void FormCreate();
  void Button1Click();
  void Button2Click();
};

extern TfrmConflict* frmConflict;
