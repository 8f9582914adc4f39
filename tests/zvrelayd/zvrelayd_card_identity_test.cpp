// Cards that claim a Device ID another connection holds.
#include <gtest/gtest.h>
