// The index tests' payloads (index-fixtures.cpp).
#pragma once
#include <vector>

#include "fixtures.h"

namespace fixtures {

std::vector<Fixture> indexFixtures();

}  // namespace fixtures
