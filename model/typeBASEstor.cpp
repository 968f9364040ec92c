#include "model/typeBASEstor.h"

// The base class is all inline; this unit keeps the file pair of the design.
