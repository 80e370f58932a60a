// A success has no failure to give. Asking for one is a fault of the caller: it stops a
// debug build at once, and in a release build it throws, so that the event's boundary
// reports it; it never hands out a failure that is not there.
#include <gtest/gtest.h>

#include <optional>
#include <utility>

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

// Each macro is one statement: it can stand alone under an if, before an else.
Result<int> Doubled(Result<int> given, bool check) {
    int value = 0;
    if (check)
        OMB_ASSIGN_OR_RETURN(value, std::move(given));
    else
        OMB_RETURN_IF_FAILED(Status::of(given));
    return value * 2;
}

TEST(ResultMacros, PassTheFirstFailureUpOrAssignTheValue) {
    EXPECT_EQ(*Doubled(21, true), 42);
    EXPECT_EQ(*Doubled(21, false), 0);
    EXPECT_EQ(Doubled(Failure{7, L"Нет"}, true).failure(), (Failure{7, L"Нет"}));
    EXPECT_EQ(Doubled(Failure{8, L"Нет"}, false).failure(), (Failure{8, L"Нет"}));
}

}  // namespace
}  // namespace ombrevale
