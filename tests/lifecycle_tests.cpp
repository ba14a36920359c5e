// Placeholder until this program gets its tests.
#include <gtest/gtest.h>
