// Included by one source of each PNG test program: the unit's start and end run around its tests.
#pragma once

#include "lectern/png/pngpicture.h"

#include <gtest/gtest.h>

namespace pngtest {

struct PngEnvironment : testing::Environment {
    void SetUp() override { PngPictureInitialize(); }
    void TearDown() override { PngPictureFinalize(); }
};

inline testing::Environment* const kPngEnvironment = testing::AddGlobalTestEnvironment(new PngEnvironment);

}  // namespace pngtest
