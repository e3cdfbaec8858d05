#pragma once

// The directory's storage: organisation and entity tables as XML datapackets, and the lockable
// index behind the address book's searches.
#include "TDatapacket.h"
#include "TlockableIndex.h"
