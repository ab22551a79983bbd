#pragma once

#include <QByteArray>

// The tables a new assistant.mdb gets: main (the schedules) and zjTable (one
// work note per date).
namespace Schema {
QByteArray sql();
}
