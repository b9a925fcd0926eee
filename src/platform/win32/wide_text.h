// The game keeps its texts as 8-bit strings (UTF-8 in the shipped language
// files); Windows controls want UTF-16. Text that is not valid UTF-8 is read in
// the system's code page, as an older language file would be written.
#pragma once

#include <string>

namespace tornello {

std::wstring widen(const std::string& text);
// UTF-8 of what a control holds.
std::string narrow(const std::wstring& text);

}  // namespace tornello
