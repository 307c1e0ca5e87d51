#pragma once
// What nearly every test uses: gtest, the standard library, temp folders and paths, log capture.
// The test programs also precompile it, so a batch of test files parses gtest and these once.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/LogCapture.h"
#include "tests/support/TestPaths.h"

namespace fs = std::filesystem;
