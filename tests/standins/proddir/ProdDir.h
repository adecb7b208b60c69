// proddir (stand-in): the data folder of a product of the suite.
//
// proddir lies outside this project; this small DLL of our own gives what suiteglobal expects
// of it. The folder comes from the environment value PRODDIR_DATA_DIR when it is set (the tests
// set it), else it is the common application-data folder + "\Vorlex\Product<number>".
#pragma once

#include <string>

#if defined(_WIN32) && defined(PRODDIR_BUILD_DLL)
#define PRODDIR_API __declspec(dllexport)
#elif defined(_WIN32)
#define PRODDIR_API __declspec(dllimport)
#else
#define PRODDIR_API
#endif

// The product's data folder, without a trailing backslash.
PRODDIR_API std::u16string nekProdDataDir(int product);
