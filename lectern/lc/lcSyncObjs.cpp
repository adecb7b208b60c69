// TLcCritSec and TLcEvent add nothing to the class layer's objects; this file keeps the
// unit's header/source pair whole.
#include "lcSyncObjs.h"
