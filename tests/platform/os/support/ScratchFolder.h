// A fresh folder for one test's files, removed with everything in it afterwards (the tests'
// shared one), and small file helpers that bypass the layer under test.
#pragma once

#include <string>

#include "tests/support/ScratchFolder.h"

namespace ostest {

using ScratchFolder = zdbtest::ScratchFolder;

void WriteWholeFile(const std::string& path, const std::string& content);
std::string ReadWholeFile(const std::string& path);

}  // namespace ostest
