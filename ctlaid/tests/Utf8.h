// UTF-8 of a UTF-16 text, for the messages of failed checks (Windows test builds).
#pragma once

#include <windows.h>

#include <string>

inline std::string Utf8(const std::u16string& text)
{
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                                       static_cast<int>(text.size()), out.data(),
                                                       static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}
