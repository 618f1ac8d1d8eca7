// The log facility runs for the whole test program, as it does for the
// installer, so the tests can read the lines the operations write.
#include <gtest/gtest.h>

#include "log/logs.h"

namespace {

class LogEnvironment : public testing::Environment {
 public:
  void SetUp() override { orvek::log::ConfigureLog(); }
  void TearDown() override { orvek::log::CloseLog(); }
};

const testing::Environment* const kLogEnvironment =
    testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace
