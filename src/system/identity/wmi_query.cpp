#include "system/identity/wmi_query.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/automation_values.h"
#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "base/hex.h"
#include "base/system_message.h"
#include "base/text.h"
#include "base/unicode.h"
#include "log/logs.h"
#include "system/identity/machine_identity_rules.h"

namespace orvek::system {
namespace {

using base::ComPtr;
using base::UniqueBstr;
using base::UniqueVariant;

// A failed automation call; what() names the call and the reason (UTF-8).
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(std::wstring_view call, const std::string& why) {
  throw AutomationError(base::Utf8FromWide(call) + " failed, " + why);
}

void Check(HRESULT result, std::wstring_view call) {
  if (FAILED(result)) Fail(call, base::SystemMessageUtf8(static_cast<std::uint32_t>(result)));
}

// Borrowed views for DISPPARAMS: the string passed in outlives the call.
VARIANT TextArg(const UniqueBstr& text) {
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

// The reason a scripting object gave for a failed call, with its code.
std::string ExceptionText(EXCEPINFO& exception) {
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  const UniqueBstr source(exception.bstrSource);
  const UniqueBstr description(exception.bstrDescription);
  const UniqueBstr help_file(exception.bstrHelpFile);
  const auto code = static_cast<std::uint32_t>(exception.scode != 0 ? exception.scode : DISP_E_EXCEPTION);
  const std::wstring_view text =
      description ? base::Trim(std::wstring_view(description.get(), ::SysStringLen(description.get())))
                  : std::wstring_view();
  if (text.empty()) return base::SystemMessageUtf8(code);
  return base::Utf8FromWide(text) + " (0x" + base::Hex(code, 8) + ")";
}

// Calls `name` on `object` by name, as a script would: GetIDsOfNames, then
// Invoke with `args` in the order a script writes them.
void Call(IDispatch* object, const wchar_t* name, WORD kind, std::initializer_list<VARIANT> args,
          UniqueVariant& result) {
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
  UniqueVariant result;
  Call(object, name, kind, args, result);
  if (result.get().vt != VT_DISPATCH || result.get().pdispVal == nullptr) {
    Fail(name, "no object returned");
  }
  return ComPtr<IDispatch>(result.get().pdispVal);
}

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kMethod = DISPATCH_METHOD;

ComPtr<IDispatch> ConnectLocalCimv2() {
  CLSID locator_class{};
  Check(::CLSIDFromProgID(L"WbemScripting.SWbemLocator", &locator_class),
        L"CLSIDFromProgID WbemScripting.SWbemLocator");
  ComPtr<IDispatch> locator;
  Check(::CoCreateInstance(locator_class, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                           IID_IDispatch, reinterpret_cast<void**>(locator.put())),
        L"CreateObject WbemScripting.SWbemLocator");
  const UniqueBstr server = base::MakeBstr(L".");
  const UniqueBstr name_space = base::MakeBstr(L"root/cimv2");
  return CallForObject(locator.get(), L"ConnectServer", kMethod,
                       {TextArg(server), TextArg(name_space)});
}

ComPtr<IEnumVARIANT> Enumerate(IDispatch* collection) {
  UniqueVariant result;
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
  const UniqueBstr query = base::MakeBstr(WmiQueryText(wmi_property, wmi_type, condition));
  const ComPtr<IDispatch> objects = CallForObject(services.get(), L"ExecQuery", kMethod, {TextArg(query)});
  const ComPtr<IEnumVARIANT> items = Enumerate(objects.get());
  const UniqueBstr property_name = base::MakeBstr(wmi_property);
  while (limit == 0 || values.size() < static_cast<std::size_t>(limit)) {
    UniqueVariant item;
    ULONG fetched = 0;
    const HRESULT hr = items->Next(1, item.put(), &fetched);
    Check(hr, L"Next");
    if (hr != S_OK || fetched == 0) break;
    if (item.get().vt != VT_DISPATCH || item.get().pdispVal == nullptr) Fail(L"Next", "not an object");
    const ComPtr<IDispatch> properties =
        CallForObject(item.get().pdispVal, L"Properties_", kGet | kMethod, {});
    const ComPtr<IDispatch> property =
        CallForObject(properties.get(), L"Item", kMethod, {TextArg(property_name), IntArg(0)});
    UniqueVariant value;
    Call(property.get(), L"Value", kGet | kMethod, {}, value);
    if (value.get().vt == VT_NULL) continue;
    UniqueVariant text;
    Check(::VariantChangeType(text.put(), value.ptr(), VARIANT_ALPHABOOL, VT_BSTR), L"Value to text");
    const BSTR raw = text.get().bstrVal;
    values.push_back(CleanWmiValue(std::wstring_view(raw, raw != nullptr ? ::SysStringLen(raw) : 0)));
  }
}

}  // namespace

std::vector<std::wstring> GetWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                         std::wstring_view condition, int limit) {
  std::vector<std::wstring> values;
  const base::ScopedCoInitialize com;
  try {
    CollectValues(wmi_type, wmi_property, condition, limit, values);
  } catch (const std::exception& failure) {
    log::LogErrorFmt(L"GetWMIProperty error, WMIType:%s, WMIProperty: %s, msg:%s", wmi_type,
                     wmi_property, base::WideFromUtf8(failure.what()));
  }
  return values;
}

std::wstring GetFirstWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                 std::wstring_view condition) {
  std::vector<std::wstring> values = GetWMIProperty(wmi_type, wmi_property, condition, 1);
  return values.empty() ? std::wstring() : std::move(values.front());
}

}  // namespace orvek::system
