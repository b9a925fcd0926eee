// An entry point of a library loaded at run time, typed. Going through void*
// keeps the compiler from warning about the cast from FARPROC.
#pragma once

#include <windows.h>

namespace tornello {

template <typename Function>
Function library_entry(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace tornello
