#include "PgbTools.h"

#include <cctype>

int MajorVersionOf(const std::string& version)
{
    const size_t dot = version.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 9) {
        return -1;
    }
    int value = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(version[i]))) {
            return -1;
        }
        value = value * 10 + (version[i] - '0');
    }
    return value;
}
