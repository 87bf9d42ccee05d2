// (Placeholder.)
#include "filter/media/AnimatedPicture.h"
