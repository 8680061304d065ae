#include "keybook/base.h"

#include <gtest/gtest.h>

#include "testutil.h"

namespace qvx {
namespace {

TEST(Base, Placeholder) { EXPECT_EQ(base().compruebabase(), 0); }

}  // namespace
}  // namespace qvx
