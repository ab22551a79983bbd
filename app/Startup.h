#pragma once

#include <QString>

class SingleInstance;

// The program's start: title, single-instance test, the windows of the whole
// run in their order, the connection string, tool tips, the message loop.
int runAssistant(int argc, char** argv);

// Creates the windows and the data module of the whole run, in their order,
// and points the connection at the database; tests call it to build the app.
// The real start defers building the windows it does not show.
void createStartupWindows(bool deferBuilding = false);
void destroyStartupWindows();

// Whether this start goes on with database: false when a copy runs on it
// already, which is then asked to come forward, or, where it cannot be
// reached (started in another session), the user is told.
bool claimDatabase(SingleInstance& instance, const QString& database);
