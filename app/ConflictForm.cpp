#include "app/ConflictForm.h"

#include <initializer_list>

#include "app/WizardRules.h"

TfrmConflict* frmConflict = nullptr;

TfrmConflict::TfrmConflict()
    : TForm(ResourceData(RT_RCDATA, u"TFRMCONFLICT")),
      lblRegister(Control<TLabel>("lblRegister")),
      Label1(Control<TLabel>("Label1")),
      lblContent(Control<TLabel>("lblContent")),
      Label2(Control<TLabel>("Label2")),
      Button1(Control<TButton>("Button1")),
      Button2(Control<TButton>("Button2")) {
  frmConflict = this;
  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { Button2Click(); };
  try {
    FormCreate();
  } catch (const std::exception& e) {
    Application->ShowException(e);
  }
}

void TfrmConflict::FormCreate() {
  if (WindowsMajorVersion() > 5) {
    for (TControl* c :
         std::initializer_list<TControl*>{&Label1, &lblRegister, &lblContent, &Button1, &Button2}) {
      TFont f = c->Font();
      f.name = u"微软雅黑";
      f.points = 10;
      f.pixels = 0;
      c->SetFont(f);
    }
  }
  const std::u16string name = ConflictProductName(ProductId);
  SetCaption(u"温馨提示 - " + name);
  lblContent.SetCaption(ConflictBody(name));
  Label2.SetCaption(ConflictHomePage());
}

void TfrmConflict::Button1Click() {
  SetClipboardText(Handle(), ConflictHomePage());
  ShowMessage(u"复制成功，请粘贴到浏览器的地址栏中打开。");
}

void TfrmConflict::Button2Click() {
  ModalResult = 2;
  if (Visible())
    Close();
}
