// The message an action fails with, for tests that compare error texts.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

// The text of the runtime error the action raises; empty when it raises none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}
