#pragma once
// Connects the expression model, the command layer and the panes to the services of the layers
// above them (fonts, key state, preference files). The model and the panes reach these services
// only through hooks, so that portable code never includes the window-system side.

#include <string>

// Installs every hook; called once by the entry before the application starts.
void InstallModelWiring();

// Called at a termination signal with the first name each unsaved document's recovery file may be
// given, just before the written copy is given its name. The program sets none; a test sets one to act as
// another program that makes a file at that moment.
extern void (*RecoveryNameChosenHook)(const std::string& path);
