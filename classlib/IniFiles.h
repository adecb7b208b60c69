// Settings files of sections and Name=Value keys (Windows builds only), read and written through
// the platform's profile functions: each call opens the file, so nothing is held between calls.
// Strings are UTF-16.
#pragma once

#include "SysUtils.h"

#include <string>

CL_DECLARE_EXCEPTION(EIniFileException, Exception)

class TIniFile : public TObject {
public:
    explicit TIniFile(std::u16string fileName) : FFileName(std::move(fileName)) {}

    const std::u16string& FileName() const { return FFileName; }

    // The value of key in section, or defaultValue when there is none.
    std::u16string ReadString(const std::u16string& section, const std::u16string& key,
                              const std::u16string& defaultValue) const;
    // Raises EIniFileException "Unable to write to <file>" when the platform refuses.
    void WriteString(const std::u16string& section, const std::u16string& key,
                     const std::u16string& value);

    CL_CLASS_NAME(TIniFile)

private:
    std::u16string FFileName;
};
