// The controller model shared by the media servers of one simulator: every
// request is handled under one lock, as a real controller handles one
// request at a time whatever line it came in on.
#pragma once

#include <mutex>
#include <utility>

#include "sim/controller_model.hpp"

namespace tarvo::sim {

class SharedModel {
 public:
  explicit SharedModel(const ControllerConfig& config) : model_(config) {}

  Answer Handle(const uint8_t* request, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.Handle(request, size);
  }
  // Runs f(ControllerModel&) under the lock and returns its result.
  template <class F>
  auto With(F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<F>(f)(model_);
  }

 private:
  std::mutex mutex_;
  ControllerModel model_;
};

}  // namespace tarvo::sim
