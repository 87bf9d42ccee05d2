// (Placeholder.)
#include "tools/common/SampleEffect.h"
