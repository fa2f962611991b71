#include "ui/Accessible.h"

#include <oleacc.h>

#include <string>

#include "ui/Controls.h"
#include "win/Api.h"

namespace {

// oleacc is no DLL Windows always takes from its own folder: it is loaded
// from the system directory by its full path, its functions looked up by name.

bool IsSelf(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT ToBstr(const std::u16string& text, BSTR* out) {
  if (out == nullptr)
    return E_POINTER;
  *out = nullptr;
  if (text.empty())
    return S_FALSE;
  *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// COM objects are destroyed through Release, never through the interface:
// the interfaces have no virtual destructor, by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The system's object for the window, with the control's name, role and
// value. The control is looked up by its window on every call, so an object
// that outlives its control gives the system's answers.
class TControlAccessible final : public IAccessible {
 public:
  TControlAccessible(HWND hwnd, IAccessible* inner) : hwnd_(hwnd), inner_(inner) {}
  TControlAccessible(const TControlAccessible&) = delete;
  TControlAccessible& operator=(const TControlAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr)
      return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long n = --refs_;
    if (n == 0) {
      inner_->Release();
      delete this;
    }
    return static_cast<ULONG>(n);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    return inner_->GetTypeInfoCount(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override {
    return inner_->GetTypeInfo(i, lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid,
                                          DISPID* ids) override {
    return inner_->GetIDsOfNames(riid, names, n, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                   UINT* arg) override {
    return inner_->Invoke(id, riid, lcid, flags, params, result, info, arg);
  }

  // IAccessible: what the control knows better.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    const TControl* c = Control();
    if (c == nullptr || !IsSelf(child))
      return inner_->get_accName(child, name);
    return ToBstr(c->AccessibleName(), name);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    const TControl* c = Control();
    if (c == nullptr || !IsSelf(child) || role == nullptr)
      return inner_->get_accRole(child, role);
    VariantInit(role);
    role->vt = VT_I4;
    role->lVal = c->AccessibleRole();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    const TControl* c = Control();
    std::u16string text;
    if (c == nullptr || !IsSelf(child) || !c->AccessibleValue(text))
      return inner_->get_accValue(child, value);
    return ToBstr(text, value);
  }

  // IAccessible: the system's answers.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return inner_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
    return inner_->get_accChildCount(n);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return inner_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return inner_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return inner_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
    return inner_->get_accHelp(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return inner_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
    return inner_->get_accKeyboardShortcut(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return inner_->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return inner_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
    return inner_->get_accDefaultAction(child, text);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return inner_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                        VARIANT child) override {
    return inner_->accLocation(x, y, w, h, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override {
    return inner_->accNavigate(dir, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return inner_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return inner_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return inner_->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return inner_->put_accValue(child, value);
  }

 private:
  ~TControlAccessible() = default;
  const TControl* Control() const {
    return IsWindow(hwnd_) ? TControl::FromHandle(hwnd_) : nullptr;
  }

  HWND hwnd_;
  IAccessible* inner_;
  long refs_ = 1;
};

#pragma GCC diagnostic pop

}  // namespace

LRESULT AnswerGetObject(HWND hwnd, WPARAM wp, LPARAM lp) {
  if (static_cast<LONG>(static_cast<DWORD>(lp)) != OBJID_CLIENT)
    return 0;
  const auto create = win::Api<win::Fn::CreateStdAccessibleObject>();
  const auto lresult = win::Api<win::Fn::LresultFromObject>();
  if (create == nullptr || lresult == nullptr)
    return 0;
  IAccessible* inner = nullptr;
  if (FAILED(create(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&inner))) ||
      inner == nullptr) {
    return 0;
  }
  auto* outer = new TControlAccessible(hwnd, inner);
  const LRESULT answer = lresult(__uuidof(IAccessible), wp, static_cast<IAccessible*>(outer));
  outer->Release();
  return answer > 0 ? answer : 0;
}
