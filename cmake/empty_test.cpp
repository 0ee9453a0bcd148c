// Placeholder for a test executable whose folders hold no tests yet.
#include <gtest/gtest.h>
