// Reading one property of the objects a WMI query finds, through the WMI
// scripting automation object with every call made by name at run time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvek::system {

// Runs "select <wmi_property> from <wmi_type> <condition>" against root/cimv2
// of the local machine and returns the property of the objects found, in
// enumeration order, at most `limit` of them (0: no limit). Null values are
// skipped and do not count; every other value is converted to text, trimmed
// of blanks and control characters and cleaned (CleanValue).
//
// Never fails its caller: a failure anywhere (no WMI, a query it rejects, a
// value that does not convert) is logged as
//   GetWMIProperty error, WMIType:<type>, WMIProperty: <property>, msg:<why>
// and the values collected before it are returned.
//
// Each call makes its own locator and connection. The calling thread may be
// in any COM apartment or none; without one the call enters a single-threaded
// apartment for its own duration.
std::vector<std::wstring> GetWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                         std::wstring_view condition, int limit);

// The first value of GetWMIProperty with limit 1, or empty when there is none.
std::wstring GetFirstWMIProperty(std::wstring_view wmi_type, std::wstring_view wmi_property,
                                 std::wstring_view condition);

}  // namespace orvek::system
