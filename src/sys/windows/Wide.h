#pragma once

#include <string>
#include <string_view>

// Inside the program every text and path is UTF-8; the Windows API takes and gives UTF-16.
namespace velmo::sys {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace velmo::sys
