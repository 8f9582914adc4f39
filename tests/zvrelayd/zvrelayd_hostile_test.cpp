// zvrelayd against peers that try to wear it down.
#include <gtest/gtest.h>
