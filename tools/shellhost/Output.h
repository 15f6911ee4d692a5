#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Everything the host prints goes to standard output as UTF-8 with bare line feeds, so that the
// scripts on the Unix side can compare it byte for byte whatever the console's code page.
void WriteOut(const std::wstring& text);
void WriteErr(const std::wstring& text);

std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);

// "0x8000FFFF"-style text of a 32-bit value, eight upper-case digits.
std::wstring Hex32(unsigned long value);

// The HRESULT with its symbolic name when it is one a shell handler commonly returns:
// "0x80004001 (E_NOTIMPL)".
std::wstring DescribeResult(HRESULT result);

// Pads `text` with blanks to `width` UTF-16 units (texts already as wide stay as they are).
std::wstring PadRight(const std::wstring& text, size_t width);

// The program's arguments after its own name, split as the C runtime would split them.
std::vector<std::wstring> ProgramArguments();
