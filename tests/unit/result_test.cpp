// A success has no failure to give. Asking for one is a fault of the caller: it stops a
// debug build at once, and in a release build it throws, so that the event's boundary
// reports it; it never hands out a failure that is not there.
#include <gtest/gtest.h>

#include <optional>

#include "base/result.h"

namespace ombrevale {
namespace {

TEST(ResultDeathTest, ASuccessHasNoFailureToGive) {
    Guard guard;
    guard.step(Ok());
#ifdef NDEBUG
    EXPECT_THROW((void)Status().failure(), std::bad_optional_access);
    EXPECT_THROW((void)guard.failure(), std::bad_optional_access);
#else
    EXPECT_DEATH((void)Status().failure(), "Status::failure");
    EXPECT_DEATH((void)guard.failure(), "Guard::failure");
#endif
    guard.step(Status(Failure{5, L"Отказано"}));
    EXPECT_EQ(guard.failure(), (Failure{5, L"Отказано"}));
}

}  // namespace
}  // namespace ombrevale
