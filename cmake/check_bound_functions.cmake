# Refuses every way of binding a function by address other than
# src/base/bound_function.h, which makes the i686 build check the calling
# convention. Run by the build (src/base/CMakeLists.txt):
#   cmake -DSOURCE_DIR=<dir> [-DSTAMP=<file>] -P check_bound_functions.cmake
# Comments and string literals are left out of the search. Refused, with an
# example of each:
#   GetProcAddress                     any use
#   GWLP_WNDPROC, GCLP_WNDPROC,        SetWindowLongPtrW(w, GWLP_WNDPROC, ...)
#   DWLP_DLGPROC
#   a cast to a callback type or to    reinterpret_cast<WNDPROC>(p), (TIMERPROC)p,
#   a pointer type named *Fn, *Func,   reinterpret_cast<BoolFn>(p),
#   *Function                          static_cast<LoadFunction>(p)
#   a cast to a function pointer       reinterpret_cast<BOOL(WINAPI*)(int)>(p)
#   written out
#   a cast through void*               reinterpret_cast<T>(reinterpret_cast<void*>(p))
# A call that needs one of these belongs in bound_function.h.
# And in the headers that declare a library's COM interfaces (*_interfaces.h)
# every virtual method states STDMETHODCALLTYPE: the library calls them by
# address, and on i686 a method without it is __thiscall (`this` in ECX, not
# on the stack). GCC then holds every override to the same convention.
set(allowed "base/bound_function.h")
set(refused
  "GetProcAddress"
  "G[CW]L(P)?_WNDPROC|DWLP_DLGPROC"
  "_cast<[ \t\r\n]*(const[ \t\r\n]+)?[A-Za-z_:]*(PROC|ROUTINE|CALLBACK|Fn|Func|Function)[ \t\r\n]*>"
  "\\([ \t\r\n]*[A-Z_]*(PROC|ROUTINE|CALLBACK)[ \t\r\n]*\\)"
  "_cast<[^>;]*\\([^();]*\\*[ \t\r\n]*\\)[ \t\r\n]*\\("
  "reinterpret_cast<[^>;]*>[ \t\r\n]*\\([ \t\r\n]*reinterpret_cast<void[ \t\r\n]*\\*>")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(found "")
foreach(source IN LISTS sources)
  if(source STREQUAL allowed)
    continue()
  endif()
  file(READ ${SOURCE_DIR}/${source} text)
  string(REGEX REPLACE "\"([^\"\\\\\n]|\\\\.)*\"" "\"\"" text "${text}")
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  if(source MATCHES "_interfaces\\.h$")
    string(REGEX MATCHALL "virtual[^;{(]*\\(" methods "${text}")
    foreach(method IN LISTS methods)
      if(NOT method MATCHES "STDMETHODCALLTYPE")
        string(APPEND found "  ${source}: ${method}\n")
      endif()
    endforeach()
  endif()
  foreach(pattern IN LISTS refused)
    string(REGEX MATCH "${pattern}" hit "${text}")
    if(hit)
      string(APPEND found "  ${source}: ${hit}\n")
    endif()
  endforeach()
endforeach()

if(found)
  message(FATAL_ERROR "functions bound by address outside ${allowed} (use "
                      "BindFunction or SetWindowProcedure there), or COM methods without "
                      "STDMETHODCALLTYPE:\n${found}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
