#include "skin/skin_accessible.h"

#include <oleacc.h>

#include <atomic>
#include <string>

#include "base/bound_function.h"
#include "base/com_ptr.h"
#include "base/system_library.h"
#include "log/failure_boundary.h"
#include "skin/skin_control.h"

namespace orvek::skin {
namespace {

using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

// Loaded once and kept for the life of the process: a reader may hold
// objects of ours until the end.
struct Oleacc {
  CreateStdAccessibleObjectFn create_standard = nullptr;
  LresultFromObjectFn lresult_from_object = nullptr;
};

const Oleacc* LoadOleacc() noexcept {
  static const Oleacc api = [] {
    Oleacc loaded;
    if (const HMODULE module = base::LoadSystemLibrary(L"oleacc.dll")) {
      loaded.create_standard = base::BindFunction<CreateStdAccessibleObjectFn>(module, "CreateStdAccessibleObject");
      loaded.lresult_from_object = base::BindFunction<LresultFromObjectFn>(module, "LresultFromObject");
    }
    return loaded;
  }();
  return api.create_standard && api.lresult_from_object ? &api : nullptr;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The default actions' words as the users' Windows says them.
constexpr const wchar_t* kPress = L"按下";
constexpr const wchar_t* kCheck = L"选中";
constexpr const wchar_t* kUncheck = L"取消选中";
constexpr const wchar_t* kJump = L"跳转";

}  // namespace

// IAccessible has no virtual destructor (plain COM layout); the object is
// destroyed only through its own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The accessible object of one control's client area. It keeps the window,
// not the control: a reader may hold it after the control is gone, and then
// every question falls through to the standard object, which answers for a
// window that no longer exists. Called on the window's thread only.
class SkinAccessible final : public IAccessible {
 public:
  SkinAccessible(HWND window, base::ComPtr<IAccessible> standard, AccessiblePart part)
      : window_(window), standard_(std::move(standard)), part_(part) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: readers use the interface's methods; scripting is not offered.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_INVALIDARG;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // What is ours.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      const std::wstring own = Name(c);
      return own.empty() ? standard_->get_accName(child, name) : ReturnText(own, name);
    }, child, [&] { return standard_->get_accName(child, name); }, /*edit_box_too=*/true);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      if (!role) return E_INVALIDARG;
      role->vt = VT_I4;
      role->lVal = Role(c);
      return S_OK;
    }, child, [&] { return standard_->get_accRole(child, role); });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    const HRESULT standard = standard_->get_accState(child, state);
    if (FAILED(standard) || !state || state->vt != VT_I4) return standard;
    return Answer([&](const SkinControl& c) -> HRESULT {
      state->lVal = State(c, state->lVal);
      return S_OK;
    }, child, [&] { return standard; });
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      const wchar_t* words = DefaultAction(c);
      return words ? ReturnText(words, action) : standard_->get_accDefaultAction(child, action);
    }, child, [&] { return standard_->get_accDefaultAction(child, action); });
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      if (!DefaultAction(c)) return standard_->accDoDefaultAction(child);
      // A control that a click would not reach has no action now.
      if (!c.Enabled() || !::IsWindowVisible(window_)) return DISP_E_MEMBERNOTFOUND;
      // Posted, as the system's own buttons do: the reader's call returns
      // at once instead of waiting for what the click starts (a message
      // box, a page, the end of the program).
      return ::PostMessageW(window_, kDoDefaultActionMessage, 0, 0) ? S_OK : E_FAIL;
    }, child, [&] { return standard_->accDoDefaultAction(child); });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      if (c.Kind() != ControlKind::kTrackBar) return standard_->get_accValue(child, value);
      return ReturnText(std::to_wstring(c.Value()) + L"%", value);
    }, child, [&] { return standard_->get_accValue(child, value); });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    return Answer([&](const SkinControl& c) -> HRESULT {
      const std::wstring own = c.AccessibleDescription();
      return own.empty() ? standard_->get_accDescription(child, description) : ReturnText(own, description);
    }, child, [&] { return standard_->get_accDescription(child, description); });
  }

  // Everything else is the standard object's.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return standard_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return standard_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return standard_->get_accFocus(focus); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_->put_accValue(child, value);
  }

 private:
  // Runs `own` for questions about the control itself while it exists (for
  // the real EDIT of an edit box only where `edit_box_too`), else asks the
  // standard object. No failure goes back to the reader as an exception.
  template <typename Own, typename Standard>
  HRESULT Answer(Own&& own, const VARIANT& child, Standard&& standard, bool edit_box_too = false) {
    HRESULT result = E_FAIL;
    const SkinControl* control = IsSelf(child) && (part_ == AccessiblePart::kControl || edit_box_too) ? Control() : nullptr;
    log::RunGuarded(L"accessibility error", [&] { result = control ? own(*control) : standard(); });
    return result;
  }

  const SkinControl* Control() const {
    return SkinControl::FromHandle(part_ == AccessiblePart::kEditBox ? ::GetParent(window_) : window_);
  }

  // The edit box's name belongs to the EDIT inside, which has the focus;
  // the frame around it stays unnamed, or a reader would say it twice.
  std::wstring Name(const SkinControl& c) const {
    if (c.Kind() == ControlKind::kEdit && part_ == AccessiblePart::kControl) return std::wstring();
    return c.AccessibleName();
  }

  static LONG Role(const SkinControl& c) {
    switch (c.Kind()) {
      case ControlKind::kButton:
        return ROLE_SYSTEM_PUSHBUTTON;
      case ControlKind::kCheckBox:
        return ROLE_SYSTEM_CHECKBUTTON;
      case ControlKind::kLabel:
        return c.IsLink() ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_STATICTEXT;
      case ControlKind::kImage:
        return ROLE_SYSTEM_GRAPHIC;
      case ControlKind::kTrackBar:
        // It shows a value and takes no input: a progress bar to a reader.
        return ROLE_SYSTEM_PROGRESSBAR;
      case ControlKind::kPanel:
      case ControlKind::kEdit:  // the frame around the real EDIT
        break;
    }
    return ROLE_SYSTEM_GROUPING;
  }

  // The standard object's state (focus, focusable, unavailable) with what
  // only the control knows.
  LONG State(const SkinControl& c, LONG state) const {
    // A control on a page behind the one in front is hidden with it.
    if (!::IsWindowVisible(window_)) state |= STATE_SYSTEM_INVISIBLE;
    switch (Role(c)) {
      case ROLE_SYSTEM_CHECKBUTTON:
        if (c.Checked()) state |= STATE_SYSTEM_CHECKED;
        break;
      case ROLE_SYSTEM_LINK:
        state |= STATE_SYSTEM_LINKED;
        break;
      case ROLE_SYSTEM_STATICTEXT:
      case ROLE_SYSTEM_PROGRESSBAR:
        state = (state & ~STATE_SYSTEM_FOCUSABLE) | STATE_SYSTEM_READONLY;
        break;
      case ROLE_SYSTEM_GRAPHIC:
        state &= ~STATE_SYSTEM_FOCUSABLE;
        break;
      default:
        break;
    }
    return state;
  }

  static const wchar_t* DefaultAction(const SkinControl& c) {
    switch (Role(c)) {
      case ROLE_SYSTEM_PUSHBUTTON:
        return kPress;
      case ROLE_SYSTEM_CHECKBUTTON:
        return c.Checked() ? kUncheck : kCheck;
      case ROLE_SYSTEM_LINK:
        return kJump;
      default:
        return nullptr;
    }
  }

  const HWND window_;
  const base::ComPtr<IAccessible> standard_;
  const AccessiblePart part_;
  std::atomic<ULONG> references_{0};
};

#pragma GCC diagnostic pop

LRESULT AnswerGetObject(HWND window, WPARAM wparam, LPARAM lparam, AccessiblePart part) noexcept {
  // The object id arrives as a 32-bit value in a wider LPARAM.
  if (static_cast<LONG>(lparam) != OBJID_CLIENT) return 0;
  const Oleacc* oleacc = LoadOleacc();
  if (!oleacc) return 0;
  // Entered once and never left: the objects handed out stay callable as
  // long as the thread runs. A thread in the multithreaded apartment would
  // take the readers' calls on other threads; it gets the system's answer.
  static thread_local const bool in_apartment = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (!in_apartment) return 0;
  LRESULT result = 0;
  log::RunGuarded(L"accessibility error", [&] {
    base::ComPtr<IAccessible> standard;
    IAccessible** slot = standard.put();
    if (FAILED(oleacc->create_standard(window, OBJID_CLIENT, IID_PPV_ARGS(slot)))) return;
    const base::ComPtr<IAccessible> object(new SkinAccessible(window, std::move(standard), part));
    result = oleacc->lresult_from_object(__uuidof(IAccessible), wparam, object.get());
  });
  // A failure is a negative HRESULT; the system's own answer beats none.
  return result > 0 ? result : 0;
}

}  // namespace orvek::skin
