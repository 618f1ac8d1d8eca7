#include "system/wmi_query.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <vector>

#include "log/logs.h"
#include "log/text.h"
#include "payload/com_ptr.h"
#include "system/machine_identity_rules.h"

namespace orvek::system {
namespace {

using payload::ComPtr;

// A failed automation call; what() names the call and the reason (UTF-8).
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string HresultText(HRESULT result) {
  char text[32];
  std::snprintf(text, sizeof text, "error 0x%08lX", static_cast<unsigned long>(result));
  return text;
}

[[noreturn]] void Fail(std::wstring_view call, const std::string& why) {
  throw AutomationError(log::Utf8FromWide(call) + " failed, " + why);
}

void Check(HRESULT result, std::wstring_view call) {
  if (FAILED(result)) Fail(call, HresultText(result));
}

class Variant {
 public:
  Variant() noexcept { ::VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value_); }
  VARIANT* put() noexcept {
    ::VariantClear(&value_);
    return &value_;
  }
  const VARIANT& get() const noexcept { return value_; }
  VARIANT* ptr() noexcept { return &value_; }

 private:
  VARIANT value_;
};

class Bstr {
 public:
  explicit Bstr(std::wstring_view text)
      : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (value_ == nullptr) throw std::bad_alloc();
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(value_); }
  BSTR get() const noexcept { return value_; }

 private:
  BSTR value_;
};

// Borrowed views for DISPPARAMS: the Bstr passed in outlives the call.
VARIANT TextArg(const Bstr& text) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  return v;
}

VARIANT IntArg(LONG value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// The reason a scripting object gave for a failed call, or its code.
std::string ExceptionText(EXCEPINFO& exception) {
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  std::wstring description;
  if (exception.bstrDescription != nullptr) description = log::Trim(exception.bstrDescription);
  const HRESULT code = exception.scode != 0 ? exception.scode : DISP_E_EXCEPTION;
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  if (description.empty()) return HresultText(code);
  return log::Utf8FromWide(description) + " (" + HresultText(code) + ")";
}

// Calls `name` on `object` by name, as a script would: GetIDsOfNames, then
// Invoke with `args` in the order a script writes them.
void Call(IDispatch* object, const wchar_t* name, WORD kind, std::initializer_list<VARIANT> args,
          Variant& result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), name);
  // Automation takes the arguments last to first.
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result.put(),
                                    &exception, &bad_argument);
  if (hr == DISP_E_EXCEPTION) Fail(name, ExceptionText(exception));
  Check(hr, name);
}

ComPtr<IDispatch> CallForObject(IDispatch* object, const wchar_t* name, WORD kind,
                                std::initializer_list<VARIANT> args) {
  Variant result;
  Call(object, name, kind, args, result);
  if (result.get().vt != VT_DISPATCH || result.get().pdispVal == nullptr) {
    Fail(name, "no object returned");
  }
  return ComPtr<IDispatch>(result.get().pdispVal);
}

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

// Keeps COM usable for one call: enters a single-threaded apartment when the
// thread has none, and leaves it again only in that case.
class ComScope {
 public:
  ComScope() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }

 private:
  HRESULT hr_;
};

ComPtr<IDispatch> ConnectLocalCimv2() {
  CLSID locator_class{};
  Check(::CLSIDFromProgID(L"WbemScripting.SWbemLocator", &locator_class),
        L"CLSIDFromProgID WbemScripting.SWbemLocator");
  ComPtr<IDispatch> locator;
  Check(::CoCreateInstance(locator_class, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                           IID_IDispatch, reinterpret_cast<void**>(locator.put())),
        L"CreateObject WbemScripting.SWbemLocator");
  const Bstr server(L".");
  const Bstr name_space(L"root/cimv2");
  return CallForObject(locator.get(), L"ConnectServer", kMethod,
                       {TextArg(server), TextArg(name_space)});
}

ComPtr<IEnumVARIANT> Enumerate(IDispatch* collection) {
  Variant result;
  Call(collection, L"_NewEnum", kGet | kMethod, {}, result);
  const VARIANT& v = result.get();
  IUnknown* unknown = v.vt == VT_UNKNOWN ? v.punkVal : v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
  if (unknown == nullptr) Fail(L"_NewEnum", "no enumerator returned");
  ComPtr<IEnumVARIANT> items;
  Check(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.put())),
        L"_NewEnum");
  return items;
}

// Appends the property of each object to `values` until `limit` is reached.
void CollectValues(std::wstring_view wmi_type, std::wstring_view wmi_property,
                   std::wstring_view condition, int limit, std::vector<std::wstring>& values) {
  const ComPtr<IDispatch> services = ConnectLocalCimv2();
  const Bstr query(WmiQueryText(wmi_property, wmi_type, condition));
  const ComPtr<IDispatch> objects = CallForObject(services.get(), L"ExecQuery", kMethod, {TextArg(query)});
  const ComPtr<IEnumVARIANT> items = Enumerate(objects.get());
  const Bstr property_name(wmi_property);
  while (limit == 0 || values.size() < static_cast<std::size_t>(limit)) {
    Variant item;
    ULONG fetched = 0;
    const HRESULT hr = items->Next(1, item.put(), &fetched);
    Check(hr, L"Next");
    if (hr != S_OK || fetched == 0) break;
    if (item.get().vt != VT_DISPATCH || item.get().pdispVal == nullptr) Fail(L"Next", "not an object");
    const ComPtr<IDispatch> properties =
        CallForObject(item.get().pdispVal, L"Properties_", kGet | kMethod, {});
    const ComPtr<IDispatch> property =
        CallForObject(properties.get(), L"Item", kMethod, {TextArg(property_name), IntArg(0)});
    Variant value;
    Call(property.get(), L"Value", kGet | kMethod, {}, value);
    if (value.get().vt == VT_NULL) continue;
    Variant text;
    Check(::VariantChangeType(text.put(), value.ptr(), VARIANT_ALPHABOOL, VT_BSTR), L"Value to text");
    const BSTR raw = text.get().bstrVal;
    values.push_back(CleanWmiValue(std::wstring_view(raw, raw != nullptr ? ::SysStringLen(raw) : 0)));
  }
}

}  // namespace

std::vector<std::wstring> GetWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                         std::wstring_view condition, int limit) {
  std::vector<std::wstring> values;
  const ComScope com;
  try {
    CollectValues(wmi_type, wmi_property, condition, limit, values);
  } catch (const std::exception& failure) {
    log::LogErrorFmt(L"GetWMIProperty error, WMIType:%s, WMIProperty: %s, msg:%s", wmi_type,
                     wmi_property, log::WideFromUtf8(failure.what()));
  }
  return values;
}

std::wstring GetFirstWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                 std::wstring_view condition) {
  std::vector<std::wstring> values = GetWMIProperty(wmi_type, wmi_property, condition, 1);
  return values.empty() ? std::wstring() : std::move(values.front());
}

}  // namespace orvek::system
