#include "jsondoc/jsondoc.h"
