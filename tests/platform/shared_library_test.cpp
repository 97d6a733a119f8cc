#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <array>

namespace bw {
namespace {

TEST(SharedLibrary, BindsFromTheFirstLibraryThatHasTheFunctionAndReportsWhatIsMissing) {
  const SharedLibrary none = SharedLibrary::Open("libbrookwave-absent.so.0");
  const SharedLibrary math = SharedLibrary::Open("libm.so.6");
  EXPECT_FALSE(none);
  ASSERT_TRUE(math);
  EXPECT_EQ(none.Symbol("cos"), nullptr);

  const std::array<const SharedLibrary*, 2> libraries{&none, &math};
  double (*cosine)(double) = nullptr;
  ASSERT_TRUE(BindFunction(libraries, "cos", cosine));
  EXPECT_EQ(cosine(0.0), 1.0);

  EXPECT_FALSE(BindFunction(libraries, "brookwave_absent_function", cosine));
  EXPECT_EQ(cosine, nullptr);  // never left bound to an earlier symbol
}

}  // namespace
}  // namespace bw
