#pragma once

#include "platform/Database.h"

// The versions of assistant.mdb, oldest first. A new file is made by every
// step; an older one is brought up to date when it is opened.
namespace Schema {
DbSchema schema();
int version(); // the newest
} // namespace Schema
