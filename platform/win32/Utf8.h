// UTF-8 strings of the portable code to and from the wide strings of the Win32 calls.
#pragma once

#include <string>
#include <string_view>

std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);
// Empty when `text` is not UTF-8 at all.
std::wstring wideFromValidUtf8(std::string_view text);
// `text` in the ANSI code page, as the system's narrow calls take it.
std::wstring wideFromAnsi(std::string_view text);
