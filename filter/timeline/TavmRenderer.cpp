// (Placeholder.)
#include "filter/timeline/TavmRenderer.h"
