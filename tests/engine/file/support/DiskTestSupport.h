// Helpers for the tests of the file layer over real files: a scratch folder, whole-file
// reads and writes that bypass the engine, and a check of an engine exception's code and
// exact text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "tests/support/ScratchFolder.h"

namespace zdb::test {

// A scratch folder removed with everything in it: the tests' shared one.
using TempFolder = zdbtest::ScratchFolder;

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The engine exception the call raised, with its code and full text.
struct RaisedError {
  int32_t code = 0;
  std::string text;  // what(): message, " - Native error: ", five-digit code
};

inline RaisedError Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const EZDBException& e) {
    return {e.NativeError(), e.what()};
  }
  ADD_FAILURE() << "no engine exception was raised";
  return {};
}

// "message - Native error: 0code"
inline std::string ErrorText(const std::string& message, int32_t code) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%.5d", code);
  return message + " - Native error: " + digits;
}

}  // namespace zdb::test
