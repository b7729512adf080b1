#include "CControls.h"
