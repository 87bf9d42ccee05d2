#include <gtest/gtest.h>

#include "filter/transitions/fTavTransition.h"
