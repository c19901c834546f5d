// Scratch directories, whole-file reads and counting cancellation tokens.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>

#include "common/cancel.h"

// A fresh, empty directory `<tmp>/<prefix><pid>/<name>`.
inline std::filesystem::path scratch(const std::string& prefix, const char* name) {
  auto dir = std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid())) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A token asked at every poll, stopping when `stop` says so.
struct Token {
  explicit Token(std::function<bool()> stop)
      : cancel(
            [this, stop = std::move(stop)] {
              ++asked;
              return stop();
            },
            {}) {}
  int asked = 0;
  tess::Cancel cancel;
};

// A token that stops at its k-th question.
struct StopAfter : Token {
  explicit StopAfter(int k) : Token([this, k] { return asked >= k; }) {}
};
