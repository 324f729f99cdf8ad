#pragma once
// Connects the expression model, the command layer and the panes to the services of the layers
// above them (fonts, key state, preference files). The model and the panes reach these services
// only through hooks, so that portable code never includes the window-system side.

// Installs every hook; called once by the entry before the application starts.
void InstallModelWiring();
