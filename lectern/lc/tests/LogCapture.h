// Turns file logging on into a private folder for one test and reads back what a log name got.
#pragma once

#include "classlib/Platform.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TLogCapture {
public:
    explicit TLogCapture(const std::string& tag)
        : FRoot(TempFolder() + "lclogcap_" + std::to_string(MyThreadId()) + "_" + tag + plat::PathDelim())
    {
        std::filesystem::remove_all(FRoot);
        std::filesystem::create_directories(FRoot);
        InitializeLcLog();
        SetLogExeFileName(FRoot + "app.exe");
        SetLogTimeFormat("");
        LogEnabled = true;
    }
    ~TLogCapture()
    {
        FinalizeLcLog();
        SetLogExeFileName("");
        std::error_code error;
        std::filesystem::remove_all(FRoot, error);
    }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    // Everything logged under the name so far.
    std::string Text(const std::string& name) const
    {
        std::ifstream in(FRoot + "LOG" + plat::PathDelim() + "app.exe." + name + ".log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string FRoot;
};
