// driver_test.cpp - tests of the emulated board (first cut).
#include <gtest/gtest.h>
